#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/base/CountedMutex.h"

namespace {

TEST(CountedMutex, CountsDepthAndIgnoresUnlockByOthers) {
  CountedMutex mutex;
  mutex.Lock();
  mutex.Lock();
  EXPECT_EQ(mutex.Depth(), 2u);
  std::thread other([&] { EXPECT_FALSE(mutex.Unlock()); });
  other.join();
  EXPECT_TRUE(mutex.Unlock());
  EXPECT_TRUE(mutex.Unlock());
  EXPECT_EQ(mutex.Depth(), 0u);
  EXPECT_FALSE(mutex.Unlock());
  std::atomic<bool> locked{false};
  std::thread next([&] {
    mutex.Lock();
    locked = true;
    mutex.Unlock();
  });
  next.join();
  EXPECT_TRUE(locked.load());
}

}  // namespace
