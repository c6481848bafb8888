// The daemon's pool of request workers.
#include "vaddaemon/WorkPool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;

// A request that waits (for a command host, say) must not hold up the one
// submitted right after it: with one idle worker, two tasks submitted back
// to back, the first blocking until the second has run. Several rounds, as
// the idle worker may or may not have woken between the two submits.
TEST(WorkPool, TaskSubmittedBehindABlockingOneStillRuns) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    WorkPool pool(8);
    ASSERT_TRUE(pool.Submit([] {}));
    ASSERT_TRUE(VUTest::WaitUntil([&] { return pool.Busy() == 0; }, 10000));

    std::mutex lock;
    std::condition_variable changed;
    bool secondRan = false;
    bool released = false;
    ASSERT_TRUE(pool.Submit([&] {
      std::unique_lock<std::mutex> hold(lock);
      changed.wait_for(hold, 10s, [&] { return released; });
    }));
    ASSERT_TRUE(pool.Submit([&] {
      std::lock_guard<std::mutex> hold(lock);
      secondRan = true;
      changed.notify_all();
    }));
    {
      std::unique_lock<std::mutex> hold(lock);
      EXPECT_TRUE(changed.wait_for(hold, 3s, [&] { return secondRan; }));
      released = true;
      changed.notify_all();
    }
    EXPECT_TRUE(pool.Stop(20000));
    if (HasFailure()) return;
  }
}

// At the bound, Submit waits for a running task to end; after Stop it
// answers false at once.
TEST(WorkPool, SubmitWaitsAtTheBoundAndFailsAfterStop) {
  WorkPool pool(1);
  std::mutex lock;
  std::condition_variable changed;
  bool released = false;
  int ran = 0;
  ASSERT_TRUE(pool.Submit([&] {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait_for(hold, 10s, [&] { return released; });
    ++ran;
  }));
  std::thread second([&] {
    EXPECT_TRUE(pool.Submit([&] {
      std::lock_guard<std::mutex> hold(lock);
      ++ran;
    }));
  });
  {
    std::lock_guard<std::mutex> hold(lock);
    released = true;
    changed.notify_all();
  }
  second.join();
  EXPECT_TRUE(pool.Stop(20000));
  EXPECT_EQ(ran, 2);
  EXPECT_FALSE(pool.Submit([] {}));
}

}  // namespace
