#include "foundation/threads/VandruWorkerCallChain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "TaskTestSupport.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/threads/WorkerThread.h"
#include "kiv/Thread.h"

using task_test::Eventually;
using task_test::Task;

namespace {

constexpr uint32_t kMain = WorkerThread::kMainThreadOnly;
constexpr uint32_t kWorker = WorkerThread::kNotMainThread;

class CallChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordMainThreadId();
    main_id_ = Kiv::Thread::GetCurrentId();
  }

  WorkerThread queue_;
  uint32_t main_id_ = 0;
};

TEST_F(CallChainTest, CallsRunInOrderOneAtATimeOnTheirThreads) {
  VandruWorkerCallChain chain(&queue_);
  std::mutex mutex;
  std::vector<int> order;
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> wrong_thread{0};
  // Flag words as jobs use them; bits other than 0x1, 0x8 and 0x10 are carried.
  const uint32_t flags[] = {0, kWorker, kMain, 11, 24, 9};
  for (int i = 0; i < 30; ++i) {
    const uint32_t f = flags[i % 6];
    chain.Add(f, Task([&, i, f] {
                if (inside.fetch_add(1) != 0) ++overlaps;
                const bool on_main = Kiv::Thread::GetCurrentId() == main_id_;
                if (((f & kMain) != 0 && !on_main) || ((f & kWorker) != 0 && on_main))
                  ++wrong_thread;
                {
                  std::lock_guard<std::mutex> lock(mutex);
                  order.push_back(i);
                }
                inside.fetch_sub(1);
              }));
  }
  chain.Start();
  EXPECT_TRUE(chain.IsRunning());
  chain.Wait();  // The main thread runs the main-thread calls itself.
  EXPECT_FALSE(chain.IsRunning());
  EXPECT_FALSE(chain.WasDiscarded());
  ASSERT_EQ(order.size(), 30u);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(wrong_thread.load(), 0);
}

// A worker that waits for a chain on its own queue runs the calls itself when
// needed rather than waiting for a worker that may never come.
TEST_F(CallChainTest, ChainWaitedOnFromAWorkerCompletes) {
  std::atomic<int> calls{0};
  std::atomic<bool> done{false};
  queue_.Post(Task([&] {
                VandruWorkerCallChain chain(&queue_);
                for (int i = 0; i < 10; ++i) chain.Add(i % 2 ? kWorker : 0, Task([&] { ++calls; }));
                chain.Start();
                chain.Wait();
                done = !chain.IsRunning();
              }),
              WorkerThread::kAsynchronous);
  EXPECT_TRUE(Eventually([&] { return done.load(); }));
  EXPECT_EQ(calls.load(), 10);
}

// From a thread the queue does not know, with calls and without.
TEST_F(CallChainTest, ChainWaitedOnFromAnotherThreadCompletes) {
  std::atomic<int> calls{0};
  for (int count : {0, 5}) {
    std::thread other([&] {
      VandruWorkerCallChain chain(&queue_);
      for (int i = 0; i < count; ++i) chain.Add(0, Task([&] { ++calls; }));
      chain.Start();
      chain.Wait();
      EXPECT_FALSE(chain.IsRunning());
    });
    other.join();
  }
  EXPECT_EQ(calls.load(), 5);
}

// When the queue drops the chain's posted call, the chain stops, deletes its
// calls unrun, and Wait does not hang.
TEST_F(CallChainTest, CancelledChainReportsDiscardAndWaitReturns) {
  std::atomic<int> ran{0};
  std::atomic<int> deleted{0};
  VandruWorkerCallChain chain(&queue_);
  for (int i = 0; i < 3; ++i) chain.Add(kMain, Task([&] { ++ran; }, &deleted));
  chain.Start();  // Its first call waits for the main thread, which is here.
  queue_.CancelTasksOf(&chain, false);
  EXPECT_FALSE(chain.IsRunning());
  EXPECT_TRUE(chain.WasDiscarded());
  EXPECT_EQ(deleted.load(), 3);
  chain.Wait();
  EXPECT_EQ(ran.load(), 0);

  // A new start clears the report.
  chain.Add(0, Task([&] { ++ran; }));
  chain.Start();
  chain.Wait();
  EXPECT_FALSE(chain.WasDiscarded());
  EXPECT_EQ(ran.load(), 1);
}

TEST_F(CallChainTest, StoppedQueueDiscardsTheChain) {
  std::atomic<int> deleted{0};
  VandruWorkerCallChain chain(&queue_);
  chain.Add(kMain, Task([] {}, &deleted));
  chain.Add(0, Task([] {}, &deleted));
  chain.Start();
  queue_.Stop();
  chain.Wait();
  EXPECT_TRUE(chain.WasDiscarded());
  EXPECT_EQ(deleted.load(), 2);
}

TEST_F(CallChainTest, DestroyingAChainWaitsForItAndDeletesUnstartedCalls) {
  std::atomic<int> ran{0};
  std::atomic<int> deleted{0};
  {
    VandruWorkerCallChain started(&queue_);
    started.Add(kWorker, Task([&] { ++ran; }, &deleted));
    started.Start();
    VandruWorkerCallChain unstarted(&queue_);
    unstarted.Add(0, Task([&] { ++ran; }, &deleted));
  }
  EXPECT_EQ(ran.load(), 1);
  EXPECT_EQ(deleted.load(), 2);
}

}  // namespace
