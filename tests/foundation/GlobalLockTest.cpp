#include "foundation/threads/GlobalLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "TaskTestSupport.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/threads/BlockingScreen.h"
#include "foundation/threads/WorkerThread.h"
#include "kiv/ResourceSystem.h"
#include "kiv/Thread.h"
#include "tests/support/CapturedLog.h"

using task_test::Eventually;
using task_test::Task;

namespace {

// Ids far above the ones Kiv::Thread hands out, for tests of the grant rules
// that need no real threads.
constexpr uint32_t kA = 0x7FFF0001;
constexpr uint32_t kB = 0x7FFF0002;
constexpr uint32_t kC = 0x7FFF0003;

class GlobalLockTest : public ::testing::Test {
 protected:
  void SetUp() override { RecordMainThreadId(); }

  // The queue goes first at the end: tasks it drops give their grants back
  // to the lock.
  GlobalLock lock_{&queue_};
  WorkerThread queue_;
};

TEST_F(GlobalLockTest, GrantRulesWithoutWaiting) {
  EXPECT_FALSE(lock_.Release(kA));  // free lock: nothing to release
  // Readers share and keep writers out.
  ASSERT_TRUE(lock_.TryAcquire(kA, false));
  EXPECT_TRUE(lock_.TryAcquire(kB, false));
  EXPECT_FALSE(lock_.TryAcquire(kC, true));
  EXPECT_FALSE(lock_.Release(kA));
  EXPECT_TRUE(lock_.Release(kB));
  // An exclusive holder re-enters either way and frees at its last release;
  // a release by a non-holder changes nothing.
  ASSERT_TRUE(lock_.TryAcquire(kA, true));
  EXPECT_FALSE(lock_.Release(kB));
  EXPECT_EQ(lock_.HolderCount(), 1u);
  EXPECT_TRUE(lock_.TryAcquire(kA, false));
  EXPECT_TRUE(lock_.TryAcquire(kA, true));
  EXPECT_FALSE(lock_.TryAcquire(kB, false));
  EXPECT_EQ(lock_.GrantsOf(kA), 3u);
  EXPECT_FALSE(lock_.Release(kA));
  EXPECT_FALSE(lock_.Release(kA));
  EXPECT_TRUE(lock_.IsExclusive());
  EXPECT_FALSE(lock_.TryAcquire(kB, false));
  EXPECT_TRUE(lock_.Release(kA));
  EXPECT_FALSE(lock_.IsExclusive());
  EXPECT_EQ(lock_.HolderCount(), 0u);
  EXPECT_FALSE(lock_.Release(kA));
  EXPECT_TRUE(lock_.TryAcquire(kB, false));
  EXPECT_TRUE(lock_.Release(kB));
}

TEST_F(GlobalLockTest, WaitingWriterHoldsBackNewReadersButNotHolders) {
  ASSERT_TRUE(lock_.TryAcquire(kA, false));
  std::atomic<bool> granted{false};
  std::thread writer([&] {
    uint32_t me = Kiv::Thread::GetCurrentId();
    EXPECT_TRUE(lock_.Acquire(me, true));
    granted = true;
    lock_.Release(me);
  });
  ASSERT_TRUE(Eventually([&] { return lock_.PendingExclusive() == 1; }));
  EXPECT_FALSE(lock_.TryAcquire(kB, false));  // A new reader waits behind the writer.
  EXPECT_TRUE(lock_.TryAcquire(kA, false));   // A holder re-enters.
  EXPECT_FALSE(lock_.Release(kA));
  EXPECT_FALSE(granted.load());
  EXPECT_TRUE(lock_.Release(kA));
  writer.join();
  EXPECT_TRUE(granted.load());
  EXPECT_EQ(lock_.PendingExclusive(), 0u);
  EXPECT_TRUE(lock_.TryAcquire(kB, false));
  lock_.Release(kB);
}

TEST_F(GlobalLockTest, SoleSharedHolderIsRaisedToExclusiveAtOnce) {
  uint32_t me = Kiv::Thread::GetCurrentId();
  ASSERT_TRUE(lock_.Acquire(me, false));
  EXPECT_TRUE(lock_.Acquire(me, true));
  EXPECT_TRUE(lock_.IsExclusive());
  EXPECT_FALSE(lock_.TryAcquire(kB, false));
  EXPECT_FALSE(lock_.Release(me));
  EXPECT_TRUE(lock_.IsExclusive());  // Exclusive until the last grant goes.
  EXPECT_TRUE(lock_.Release(me));
  EXPECT_FALSE(lock_.IsExclusive());
}

// Two readers that both want to raise would wait for each other forever: the
// first waits for the other reader to leave, the second is refused.
TEST_F(GlobalLockTest, RaiseWaitsForOtherReadersAndASecondRaiseIsRefused) {
  ASSERT_TRUE(lock_.TryAcquire(kB, false));
  std::atomic<bool> raised{false};
  std::thread first([&] {
    uint32_t me = Kiv::Thread::GetCurrentId();
    ASSERT_TRUE(lock_.Acquire(me, false));
    EXPECT_TRUE(lock_.Acquire(me, true));
    raised = true;
    EXPECT_TRUE(lock_.IsExclusive());
    lock_.Release(me);
    lock_.Release(me);
  });
  ASSERT_TRUE(Eventually([&] { return lock_.PendingExclusive() == 1; }));
  EXPECT_FALSE(lock_.Acquire(kB, true));  // Refused at once, not a deadlock.
  EXPECT_EQ(lock_.GrantsOf(kB), 1u);      // kB keeps its shared grant.
  EXPECT_FALSE(raised.load());
  EXPECT_TRUE(lock_.TryAcquire(kB, false));  // Still a holder: re-enters.
  lock_.Release(kB);
  lock_.Release(kB);
  first.join();
  EXPECT_TRUE(raised.load());
  EXPECT_EQ(lock_.HolderCount(), 0u);
  EXPECT_EQ(lock_.PendingExclusive(), 0u);
}

// The holder posts work to the main thread and waits for it; the main thread
// is waiting for the lock, so it must run that work meanwhile.
TEST_F(GlobalLockTest, MainThreadWaiterRunsTasksPostedByTheHolder) {
  std::atomic<bool> holding{false};
  std::atomic<int> ran_on_main{0};
  const uint32_t main_id = Kiv::Thread::GetCurrentId();
  std::thread holder([&] {
    uint32_t me = Kiv::Thread::GetCurrentId();
    lock_.Acquire(me, true);
    holding = true;
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(queue_.Post(Task([&] {
                                if (Kiv::Thread::GetCurrentId() == main_id) ++ran_on_main;
                              }),
                              WorkerThread::kMainThreadOnly));
    }
    lock_.Release(me);
  });
  ASSERT_TRUE(Eventually([&] { return holding.load(); }));
  EXPECT_TRUE(lock_.Acquire(main_id, true));
  EXPECT_EQ(ran_on_main.load(), 3);
  lock_.Release(main_id);
  holder.join();
}

// After each trim interval of waiting, the main thread asks the resource
// system to drop unused cached resources; no screen is shown.
TEST_F(GlobalLockTest, LongMainThreadWaitDumpsUnusedCachedResources) {
  Kiv::ResourceSystem resources;
  ASSERT_EQ(Kiv::ResourceSystem::Current(), &resources);
  std::atomic<int> dumps{0};
  resources.AddCacheReleaser([&] { ++dumps; });
  lock_.SetCacheTrimInterval(10);
  ASSERT_TRUE(lock_.TryAcquire(kA, true));
  std::thread releaser([&] {
    Eventually([&] { return dumps.load() >= 2; });
    lock_.Release(kA);
  });
  const uint32_t me = Kiv::Thread::GetCurrentId();
  EXPECT_TRUE(lock_.Acquire(me, false));
  releaser.join();
  EXPECT_GE(dumps.load(), 2);
  EXPECT_EQ(BlockingScreen::Get().ShowCount(), 0);
  lock_.Release(me);
}

TEST_F(GlobalLockTest, OtherThreadsDoNotTrimWhileTheyWait) {
  Kiv::ResourceSystem resources;
  std::atomic<int> dumps{0};
  resources.AddCacheReleaser([&] { ++dumps; });
  lock_.SetCacheTrimInterval(1);
  ASSERT_TRUE(lock_.TryAcquire(kA, true));
  std::thread waiter([&] {
    uint32_t me = Kiv::Thread::GetCurrentId();
    lock_.Acquire(me, false);
    lock_.Release(me);
  });
  ASSERT_TRUE(Eventually([&] { return lock_.HolderCount() == 1; }));
  Kiv::Time::Delay(30);
  lock_.Release(kA);
  waiter.join();
  EXPECT_EQ(dumps.load(), 0);
}

// 16 threads (the test's own thread as the main thread) take the lock shared,
// exclusively, re-entrantly and by raising; holders post tasks to the main
// thread (some waited for), hand grants to queued tasks and cancel them. The
// lock must never let a writer in together with anyone else, and must end
// free and consistent.
TEST_F(GlobalLockTest, StressSixteenThreadsKeepInvariants) {
  constexpr int kThreads = 16;
  constexpr int kRounds = 400;
  std::atomic<int> writers{0};
  std::atomic<int> readers{0};
  std::atomic<int> violations{0};
  std::atomic<int> main_tasks{0};
  std::atomic<int> finished{0};
  const uint32_t main_id = Kiv::Thread::GetCurrentId();

  auto exclusive_section = [&](uint32_t me) {
    if (writers.fetch_add(1) != 0 || readers.load() != 0) ++violations;
    // Nobody else gets in, even shared (grants handed to queued tasks may be
    // given back meanwhile, so counts are not compared here).
    if (!lock_.IsExclusive()) ++violations;
    if (lock_.TryAcquire(kA, false)) {
      ++violations;
      lock_.Release(kA);
    }
    // Re-entry of an exclusive holder is granted at once, either way.
    if (!lock_.TryAcquire(me, false) || !lock_.TryAcquire(me, true)) ++violations;
    lock_.Release(me);
    lock_.Release(me);
    writers.fetch_sub(1);
  };
  auto shared_section = [&] {
    readers.fetch_add(1);
    if (writers.load() != 0) ++violations;
    readers.fetch_sub(1);
  };

  auto body = [&](int index) {
    std::mt19937 random(static_cast<uint32_t>(index) * 7919u + 1u);
    const uint32_t me = Kiv::Thread::GetCurrentId();
    const bool main = me == main_id;
    for (int round = 0; round < kRounds; ++round) {
      switch (random() % 6) {
        case 0:
          lock_.Acquire(me, false);
          if (lock_.TryAcquire(me, false)) lock_.Release(me);
          shared_section();
          lock_.Release(me);
          break;
        case 1:  // A raise when a queued task holds a grant of this thread.
          if (!lock_.Acquire(me, true)) break;
          exclusive_section(me);
          lock_.Release(me);
          break;
        case 2:  // Raise a shared grant; may be refused while another raises.
          lock_.Acquire(me, false);
          if (lock_.Acquire(me, true)) {
            exclusive_section(me);
            lock_.Release(me);
          }
          lock_.Release(me);
          break;
        case 3: {  // The holder posts to the main thread, sometimes waiting.
          if (!lock_.Acquire(me, random() % 2 == 0)) break;
          uint32_t flags = WorkerThread::kMainThreadOnly;
          if (random() % 3 != 0) flags |= WorkerThread::kAsynchronous;
          if (!main) queue_.Post(Task([&] { ++main_tasks; }), flags);
          lock_.Release(me);
          break;
        }
        case 4: {  // Hand a grant to a queued task, then maybe cancel it.
          int key = 0;
          lock_.Acquire(me, false);
          queue_.Post(Task([&] { ++main_tasks; }), WorkerThread::kAsynchronous, &key, &lock_);
          queue_.CancelTasksOf(&key, random() % 2 == 0);
          break;
        }
        default:
          if (main) queue_.RunPending(0);
          break;
      }
    }
    ++finished;
  };

  // Refused raises are logged; keep them out of the test's output.
  VUTest::CapturedLog quiet;
  std::vector<std::thread> threads;
  for (int i = 1; i < kThreads; ++i) threads.emplace_back(body, i);
  body(0);
  // The main thread keeps serving main-thread tasks until everyone is done.
  queue_.RunPendingUntil([&] { return finished.load() == kThreads; });
  for (std::thread& t : threads) t.join();
  while (queue_.RunPending(0) > 0) {
  }
  queue_.Stop();

  EXPECT_EQ(violations.load(), 0);
  EXPECT_EQ(lock_.HolderCount(), 0u);
  EXPECT_EQ(lock_.PendingExclusive(), 0u);
  EXPECT_FALSE(lock_.IsExclusive());
  EXPECT_GT(main_tasks.load(), 0);
}

}  // namespace
