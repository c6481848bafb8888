#include "foundation/threads/JobDeadline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The threads of this process.
size_t ThreadCount() {
  std::error_code error;
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
    (void)entry;
    ++count;
  }
  return count;
}

// Commits the file `name` of `folder`.
JobCommit CommitFile(const VUTest::TempFolder& folder, const std::string& name) {
  return JobDeadlineCommit(folder.At(name), [&] { return !folder.Put(name, "x").empty(); });
}

TEST(JobDeadline, OnlyABoundedJobWhoseTimeIsUpHasPassed) {
  EXPECT_FALSE(JobDeadlinePassed()) << "no job, no deadline";
  {
    JobDeadlineScope spent(milliseconds(0));
    EXPECT_TRUE(JobDeadlinePassed());
    EXPECT_TRUE(spent.Stopped());
  }
  EXPECT_FALSE(JobDeadlinePassed()) << "cleared with its scope";
  {
    JobDeadlineScope negative(milliseconds(-5));
    EXPECT_TRUE(JobDeadlinePassed());
  }
  {
    JobDeadlineScope hour(milliseconds(3600 * 1000));
    EXPECT_FALSE(JobDeadlinePassed());
    EXPECT_FALSE(hour.Stopped());
  }
  EXPECT_FALSE(JobDeadlinePassed());
}

// A job that finishes in time keeps what it committed and is not stopped;
// outside a job a commit just runs; a failed write is told apart from a
// refused one.
TEST(JobDeadline, JobFinishedInTimeKeepsItsCommits) {
  VUTest::TempFolder folder;
  ASSERT_TRUE(folder.Made());
  EXPECT_EQ(CommitFile(folder, "free"), JobCommit::kDone);
  std::atomic<int> stops{0};
  {
    JobDeadlineScope hour(milliseconds(3600 * 1000), [&] { ++stops; });
    EXPECT_EQ(CommitFile(folder, "kept"), JobCommit::kDone);
    EXPECT_EQ(JobDeadlineCommit(folder.At("failed"), [] { return false; }), JobCommit::kFailed);
    EXPECT_TRUE(hour.Finish());
  }
  EXPECT_EQ(stops.load(), 0);
  EXPECT_EQ(folder.Listing(), "free kept");
  // One watchdog thread serves every job.
  const size_t threads = ThreadCount();
  for (int i = 0; i < 5; ++i) {
    JobDeadlineScope job(milliseconds(3600 * 1000), [&] { ++stops; });
    EXPECT_TRUE(job.Finish());
  }
  EXPECT_LE(ThreadCount(), threads);
}

// Once the deadline has passed nothing is committed; the job ends stopped,
// its stop action run once before Finish answers.
TEST(JobDeadline, JobPastItsDeadlineCommitsNothing) {
  VUTest::TempFolder folder;
  ASSERT_TRUE(folder.Made());
  std::atomic<int> stops{0};
  {
    JobDeadlineScope spent(milliseconds(0), [&] { ++stops; });
    bool ran = false;
    EXPECT_EQ(JobDeadlineCommit(folder.At("late"), [&] { return ran = true; }),
              JobCommit::kStopped);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(spent.Finish());
    EXPECT_EQ(stops.load(), 1);
  }
  EXPECT_EQ(stops.load(), 1);
  EXPECT_EQ(folder.Listing(), "");
}

// A commit made with an undo of its own is taken back by it, once, when the
// job is stopped (a file named relative to an open folder, say).
TEST(JobDeadline, AStoppedJobTakesBackACommitByItsUndo) {
  for (milliseconds bound(100);; bound *= 2) {
    ASSERT_LE(bound.count(), 60000);
    int undone = 0;
    JobDeadlineScope deadline(bound);
    if (JobDeadlineCommit([] { return true; }, [&] { ++undone; }) != JobCommit::kDone) {
      deadline.Finish();
      continue;
    }
    ASSERT_TRUE(VUTest::WaitUntil([] { return JobDeadlinePassed(); }, 60000));
    EXPECT_FALSE(deadline.Finish());
    EXPECT_EQ(undone, 1);
    return;
  }
}

// Runs a job that commits a file and then stalls until it is stopped: the
// watchdog must stop it, at its deadline, and its commit is gone before
// the stop action runs. A busy machine may pass a short deadline before
// the first commit: the bound grows until the commit is in time.
void StallUntilStopped(const VUTest::TempFolder& folder) {
  struct Stop {
    std::mutex lock;
    std::condition_variable done;
    int count = 0;
    std::thread::id thread;
    Clock::time_point at;
    bool committedGone = false;
  };
  for (milliseconds bound(100);; bound *= 2) {
    ASSERT_LE(bound.count(), 60000);
    auto stop = std::make_shared<Stop>();
    const Clock::time_point start = Clock::now();
    JobDeadlineScope deadline(bound, [&folder, stop] {
      std::lock_guard<std::mutex> hold(stop->lock);
      ++stop->count;
      stop->thread = std::this_thread::get_id();
      stop->at = Clock::now();
      stop->committedGone = !folder.Exists("early");
      stop->done.notify_all();
    });
    if (CommitFile(folder, "early") != JobCommit::kDone) {
      deadline.Finish();
      continue;
    }
    {
      // The stall: the job waits for its own stop.
      std::unique_lock<std::mutex> hold(stop->lock);
      ASSERT_TRUE(stop->done.wait_for(hold, std::chrono::seconds(20), [&] { return stop->count; }))
          << "not stopped";
    }
    EXPECT_EQ(CommitFile(folder, "after"), JobCommit::kStopped);
    EXPECT_FALSE(deadline.Finish());
    EXPECT_EQ(stop->count, 1);
    EXPECT_NE(stop->thread, std::this_thread::get_id()) << "the watchdog stopped it";
    EXPECT_GE(stop->at - start, bound);
    EXPECT_TRUE(stop->committedGone);
    EXPECT_EQ(folder.Listing(), "");
    return;
  }
}

// A job that stalls after committing is stopped at its deadline by the
// watchdog, not by itself, even while the watchdog waits for a later
// deadline of an earlier job: what it committed is gone before the stop
// action runs, and nothing it commits afterwards is written.
TEST(JobDeadline, StalledJobIsStoppedAtItsDeadlineAndLosesItsCommits) {
  VUTest::TempFolder folder;
  ASSERT_TRUE(folder.Made());
  {
    // The watchdog sleeps towards the hour, and is woken for the stall.
    JobDeadlineScope hour(milliseconds(3600 * 1000), [] {});
    ASSERT_TRUE(VUTest::WaitUntil(
        [] { return JobDeadlineWatchdogWakes() > Clock::now() + std::chrono::minutes(30); },
        10000));
    ASSERT_TRUE(hour.Finish());
  }
  StallUntilStopped(folder);
}

// A stalled job that starts while the watchdog waits for no job at all
// wakes it; so does the next one, after the watchdog stopped the first.
TEST(JobDeadline, StalledJobsStartingWhileTheWatchdogIsIdleAreEachStopped) {
  VUTest::TempFolder folder;
  ASSERT_TRUE(folder.Made());
  for (int job = 0; job < 2; ++job) {
    SCOPED_TRACE(job);
    ASSERT_NO_FATAL_FAILURE(StallUntilStopped(folder));
    ASSERT_TRUE(VUTest::WaitUntil(
        [] { return JobDeadlineWatchdogWakes() == Clock::time_point::max(); }, 10000))
        << "the watchdog waits for no job";
  }
}

}  // namespace
