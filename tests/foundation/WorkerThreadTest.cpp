#include "foundation/threads/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "TaskTestSupport.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/threads/GlobalLock.h"
#include "kiv/Thread.h"

using task_test::Eventually;
using task_test::Task;

namespace {

constexpr uint32_t kMain = WorkerThread::kMainThreadOnly;
constexpr uint32_t kAsync = WorkerThread::kAsynchronous;
constexpr uint32_t kWorker = WorkerThread::kNotMainThread;

class WorkerThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordMainThreadId();
    main_id_ = Kiv::Thread::GetCurrentId();
  }

  GlobalLock lock_{&queue_};
  WorkerThread queue_;  // Destroyed first: its dropped tasks release into lock_.
  uint32_t main_id_ = 0;
};

TEST_F(WorkerThreadTest, WaitedPostThatTheCallerMayRunRunsInPlace) {
  uint32_t ran_on = 0;
  EXPECT_TRUE(queue_.Post(Task([&] { ran_on = Kiv::Thread::GetCurrentId(); }), kMain));
  EXPECT_EQ(ran_on, main_id_);
  std::thread other([&] {
    EXPECT_TRUE(queue_.Post(Task([&] { ran_on = Kiv::Thread::GetCurrentId(); }), kWorker));
    EXPECT_EQ(ran_on, Kiv::Thread::GetCurrentId());
  });
  other.join();
  EXPECT_EQ(queue_.WorkerCount(), 0u);
  EXPECT_FALSE(queue_.HasPendingTasks());
}

TEST_F(WorkerThreadTest, MainThreadTasksRunOnlyOnTheMainThreadInPostingOrder) {
  std::vector<int> order;
  std::thread poster([&] {
    for (int i = 0; i < 3; ++i)
      queue_.Post(Task([&order, i] { order.push_back(i); }), kMain | kAsync);
    EXPECT_EQ(queue_.RunPending(0), 0);  // Not the main thread: takes nothing.
  });
  poster.join();
  EXPECT_TRUE(queue_.WaitForWork(0));
  EXPECT_EQ(queue_.WorkerCount(), 0u);
  EXPECT_EQ(queue_.RunPending(0), 2);
  EXPECT_EQ(queue_.RunPending(0), 1);
  EXPECT_EQ(queue_.RunPending(0), 0);
  EXPECT_FALSE(queue_.RunOnePending(0));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(queue_.WaitForWork(0));
}

TEST_F(WorkerThreadTest, PoolGrowsWhileNoWorkerIsFree) {
  constexpr int kTasks = 4;
  std::atomic<int> running{0};
  std::atomic<bool> release{false};
  for (int i = 0; i < kTasks; ++i) {
    queue_.Post(Task([&] {
                  ++running;
                  Eventually([&] { return release.load(); });
                }),
                kAsync);
  }
  // All four can only run together if the pool grew to four threads.
  EXPECT_TRUE(Eventually([&] { return running.load() == kTasks; }));
  EXPECT_EQ(queue_.WorkerCount(), static_cast<uint32_t>(kTasks));
  release = true;
  EXPECT_TRUE(Eventually([&] { return !queue_.HasPendingTasks(); }));
  // Free workers take new work instead of new threads being started.
  std::atomic<int> later{0};
  for (int i = 0; i < kTasks; ++i) queue_.Post(Task([&] { ++later; }), kAsync);
  EXPECT_TRUE(Eventually([&] { return later.load() == kTasks; }));
  EXPECT_LE(queue_.WorkerCount(), static_cast<uint32_t>(kTasks));
}

TEST_F(WorkerThreadTest, WorkersEndAfterTheIdleTime) {
  queue_.SetIdleTime(20);
  std::atomic<bool> ran{false};
  queue_.Post(Task([&] { ran = true; }), kAsync);
  EXPECT_TRUE(Eventually([&] { return ran.load(); }));
  EXPECT_TRUE(Eventually([&] { return queue_.WorkerCount() == 0; }));
  // A new task starts a new worker.
  ran = false;
  queue_.Post(Task([&] { ran = true; }), kAsync);
  EXPECT_TRUE(Eventually([&] { return ran.load(); }));
}

TEST_F(WorkerThreadTest, CancelDropsQueuedTasksAndGivesBackTheirGrants) {
  int key = 0;
  int other_key = 0;
  std::atomic<int> deleted{0};
  std::atomic<int> ran{0};
  const uint32_t me = Kiv::Thread::GetCurrentId();
  ASSERT_TRUE(lock_.Acquire(me, true));
  ASSERT_TRUE(lock_.Acquire(me, true));
  // Main-thread tasks stay queued until this thread runs them.
  queue_.Post(Task([&] { ++ran; }, &deleted), kMain | kAsync, &key, &lock_);
  queue_.Post(Task([&] { ++ran; }, &deleted), kMain | kAsync, &other_key);
  queue_.Post(Task([&] { ++ran; }, &deleted), kMain | kAsync, &key, &lock_);
  EXPECT_EQ(lock_.GrantsOf(me), 2u);

  queue_.CancelTasksOf(&key, false);
  EXPECT_EQ(deleted.load(), 2);
  EXPECT_EQ(lock_.HolderCount(), 0u);
  EXPECT_FALSE(lock_.IsExclusive());
  EXPECT_EQ(lock_.GrantsOf(me), 0u);
  EXPECT_FALSE(lock_.Release(me));  // Nothing left to release.

  EXPECT_EQ(queue_.RunPending(0), 0);
  EXPECT_EQ(ran.load(), 1);
  EXPECT_EQ(deleted.load(), 3);
}

TEST_F(WorkerThreadTest, HeldGrantIsGivenBackAfterTheTaskRan) {
  const uint32_t me = Kiv::Thread::GetCurrentId();
  ASSERT_TRUE(lock_.Acquire(me, false));
  std::atomic<bool> held_while_running{false};
  queue_.Post(Task([&] { held_while_running = lock_.GrantsOf(me) == 1; }), kAsync, nullptr, &lock_);
  EXPECT_TRUE(Eventually([&] { return lock_.HolderCount() == 0; }));
  EXPECT_TRUE(held_while_running.load());
}

TEST_F(WorkerThreadTest, CancelledWaitingPosterGetsFalse) {
  int key = 0;
  std::atomic<int> result{-1};
  std::thread poster([&] { result = queue_.Post(Task([] {}), kMain, &key) ? 1 : 0; });
  ASSERT_TRUE(Eventually([&] { return queue_.HasPendingTasks(); }));
  queue_.CancelTasksOf(&key, true);
  poster.join();
  EXPECT_EQ(result.load(), 0);
}

TEST_F(WorkerThreadTest, CancelWaitsForRunningTasksButNotForTheCallersOwn) {
  int key = 0;
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  queue_.Post(Task([&] {
                started = true;
                Kiv::Time::Delay(30);
                finished = true;
              }),
              kAsync, &key);
  ASSERT_TRUE(Eventually([&] { return started.load(); }));
  queue_.CancelTasksOf(&key, true);
  EXPECT_TRUE(finished.load());

  std::atomic<bool> returned{false};
  queue_.Post(Task([&] {
                queue_.CancelTasksOf(&key, true);  // Its own task: no self-deadlock.
                returned = true;
              }),
              kAsync, &key);
  EXPECT_TRUE(Eventually([&] { return returned.load(); }));
}

// Tasks may use the queue freely: no queue lock is held while they run.
TEST_F(WorkerThreadTest, TasksCallBackIntoTheQueue) {
  std::atomic<int> inner{0};
  std::atomic<bool> done{false};
  queue_.Post(Task([&] {
                EXPECT_TRUE(queue_.HasPendingTasks());
                queue_.Post(Task([&] { ++inner; }), kAsync);
                queue_.Post(Task([&] { ++inner; }), 0);  // Runs in place.
                queue_.RunPending(0);
                queue_.CancelTasksOf(&inner, true);
                done = true;
              }),
              kAsync);
  EXPECT_TRUE(Eventually([&] { return done.load() && inner.load() == 2; }));
}

// The main thread waits for a worker's task that posts back to the main
// thread and waits in turn: the main thread must serve it meanwhile.
TEST_F(WorkerThreadTest, MainThreadServesMainTasksWhileItWaitsForAPost) {
  uint32_t inner_ran_on = 0;
  EXPECT_TRUE(queue_.Post(
      Task([&] { queue_.Post(Task([&] { inner_ran_on = Kiv::Thread::GetCurrentId(); }), kMain); }),
      kWorker));
  EXPECT_EQ(inner_ran_on, main_id_);
}

TEST_F(WorkerThreadTest, TaskThatNoThreadMayRunIsRefused) {
  std::atomic<int> deleted{0};
  EXPECT_FALSE(queue_.Post(Task([] {}, &deleted), kMain | kWorker));
  EXPECT_FALSE(queue_.Post(Task([] {}, &deleted), kMain | kWorker | kAsync));
  EXPECT_EQ(deleted.load(), 2);
  EXPECT_FALSE(queue_.HasPendingTasks());
}

TEST_F(WorkerThreadTest, StopJoinsWorkersAndDropsWhatIsQueued) {
  std::atomic<int> deleted{0};
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  queue_.Post(Task(
                  [&] {
                    started = true;
                    Kiv::Time::Delay(20);
                    finished = true;
                  },
                  &deleted),
              kAsync);
  ASSERT_TRUE(Eventually([&] { return started.load(); }));
  std::atomic<int> waited_result{-1};
  std::thread poster([&] { waited_result = queue_.Post(Task([] {}, &deleted), kMain) ? 1 : 0; });
  queue_.Post(Task([] {}, &deleted), kMain | kAsync);

  queue_.Stop();
  EXPECT_TRUE(finished.load());  // The running task was let finish.
  EXPECT_EQ(queue_.WorkerCount(), 0u);
  poster.join();
  EXPECT_EQ(waited_result.load(), 0);
  EXPECT_EQ(deleted.load(), 3);
  EXPECT_FALSE(queue_.Post(Task([] {}, &deleted), kAsync));
  EXPECT_EQ(deleted.load(), 4);
  EXPECT_EQ(queue_.RunPending(0), 0);
}

}  // namespace
