#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "kiv/CriticalSection.h"
#include "kiv/Thread.h"
#include "kiv/Time.h"
#include "kiv/WEvent.h"

using Kiv::Thread;
using Kiv::WEvent;

namespace {

// Polls `done` for up to five seconds, so a failure shows as a failed check
// rather than a hung test.
template <class Predicate>
bool Eventually(Predicate done) {
  uint64_t until = Kiv::Time::Ms() + 5000;
  while (!done()) {
    if (Kiv::Time::Ms() > until) return false;
    Kiv::Time::Delay(1);
  }
  return true;
}

uint32_t Double(void* arg) {
  return 2 * *static_cast<uint32_t*>(arg);
}

uint32_t MarkRan(void* arg) {
  static_cast<std::atomic<bool>*>(arg)->store(true);
  return 9;
}

uint32_t ReportId(void* arg) {
  return *static_cast<uint32_t*>(arg) = Thread::GetCurrentId();
}

struct SelfDelete {
  Thread* thread = nullptr;
  WEvent finished;
};

uint32_t DeleteOwnThread(void* arg) {
  auto* job = static_cast<SelfDelete*>(arg);
  delete job->thread;
  job->finished.Set();
  return 0;
}

}  // namespace

TEST(KivThread, JoinAnswersStartFunctionResultEveryTime) {
  uint32_t input = 21;
  Thread thread(Double, &input);
  ASSERT_TRUE(thread.StartedOk());
  EXPECT_TRUE(thread.SetPriority(2));
  EXPECT_EQ(thread.Join(), 42u);
  EXPECT_TRUE(thread.IsDone());
  EXPECT_EQ(thread.Join(), 42u);
}

TEST(KivThread, SuspendedThreadRunsOnlyAfterResumeOrJoin) {
  std::atomic<bool> ran{false};
  {
    Thread thread(MarkRan, &ran, true);
    ASSERT_TRUE(thread.StartedOk());
    Kiv::Time::Delay(20);
    EXPECT_FALSE(ran.load());
    EXPECT_FALSE(thread.IsDone());
    thread.Resume();
    EXPECT_TRUE(Eventually([&] { return thread.IsDone(); }));
    EXPECT_TRUE(ran.load());
    EXPECT_EQ(thread.Join(), 9u);
  }
  ran = false;
  {
    Thread thread(MarkRan, &ran, true);
    EXPECT_EQ(thread.Join(), 9u);  // Join resumes it rather than waiting forever.
  }
  ran = false;
  { Thread never_resumed(MarkRan, &ran, true); }
  EXPECT_FALSE(ran.load());  // Destroyed while suspended: never ran.
}

TEST(KivThread, CurrentIdIsStableNonZeroAndDistinctPerThread) {
  const uint32_t main_id = Thread::GetCurrentId();
  EXPECT_NE(main_id, 0u);
  EXPECT_EQ(Thread::GetCurrentId(), main_id);

  std::vector<uint32_t> ids(8, 0);
  std::vector<std::unique_ptr<Thread>> threads;
  for (auto& id : ids) threads.push_back(std::make_unique<Thread>(ReportId, &id));
  std::set<uint32_t> distinct{main_id};
  for (size_t i = 0; i < threads.size(); ++i) {
    EXPECT_EQ(threads[i]->Join(), ids[i]);
    EXPECT_NE(ids[i], 0u);
    distinct.insert(ids[i]);
  }
  EXPECT_EQ(distinct.size(), ids.size() + 1);
}

TEST(KivThread, ThreadMayDestroyItsOwnObject) {
  SelfDelete job;
  job.thread = new Thread(DeleteOwnThread, &job, true);
  ASSERT_TRUE(job.thread->StartedOk());
  job.thread->Resume();
  EXPECT_TRUE(job.finished.Wait(5000));
}

TEST(KivWEvent, ManualResetStaysSetUntilReset) {
  WEvent event(true, false);
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(10));
  EXPECT_TRUE(event.Wait());
  event.Reset();
  const uint64_t start = Kiv::Time::Ms();
  EXPECT_FALSE(event.Wait(20));
  EXPECT_GE(Kiv::Time::Ms() - start, 15u);
  EXPECT_TRUE(WEvent(true, true).Wait(0));
}

TEST(KivWEvent, AutoResetReleasesOneWaiterPerSet) {
  WEvent event(false, true);
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));

  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      if (event.Wait(10000)) ++released;
    });
  }
  event.Set();
  EXPECT_TRUE(Eventually([&] { return released.load() == 1; }));
  Kiv::Time::Delay(20);
  EXPECT_EQ(released.load(), 1);
  event.Set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(released.load(), 2);
  EXPECT_FALSE(event.Wait(0));
}

TEST(KivWEvent, PulseReleasesWaitersWithoutLeavingEventSet) {
  for (bool manual : {true, false}) {
    WEvent event(manual, false);
    event.Pulse();  // Nobody waits: nothing is kept.
    EXPECT_FALSE(event.Wait(10));

    std::atomic<bool> released{false};
    std::thread waiter([&] { released = event.Wait(10000); });
    // The waiter may not be waiting yet; pulse until it is released.
    EXPECT_TRUE(Eventually([&] {
      event.Pulse();
      return released.load();
    }));
    waiter.join();
    EXPECT_FALSE(event.Wait(0)) << "manual " << manual;
  }
}

TEST(KivCriticalSection, RecursiveEntryExcludesOtherThreads) {
  Kiv::CriticalSection section;
  section.Enter();
  EXPECT_TRUE(section.TryEnter());
  bool other_got_it = true;
  std::thread([&] { other_got_it = section.TryEnter(); }).join();
  EXPECT_FALSE(other_got_it);
  section.Leave();
  section.Leave();
  std::thread([&] {
    other_got_it = section.TryEnter();
    if (other_got_it) section.Leave();
  }).join();
  EXPECT_TRUE(other_got_it);

  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        Kiv::SingleLock lock(section);
        ++counter;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 40000);
}

TEST(KivTime, DelayWaitsAtLeastItsTime) {
  const uint64_t start = Kiv::Time::Ms();
  Kiv::Time::Delay(15);
  EXPECT_GE(Kiv::Time::Ms() - start, 15u);
}
