#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/base/ApplicationRecords.h"
#include "foundation/base/CountedMutex.h"
#include "foundation/text/TTimeDate.h"
#include "kiv/Thread.h"

namespace {

TEST(TTimeDate, PacksEveryFieldAndKeepsTheTopBytes) {
  TTimeDate td;
  td.time_word = 0xAB000000u;
  td.date_word = 0xCD000000u;
  std::tm local{};
  local.tm_year = 2024 - 1900;
  local.tm_mon = 11;  // December
  local.tm_mday = 31;
  local.tm_wday = 2;
  local.tm_hour = 23;
  local.tm_min = 59;
  local.tm_sec = 58;
  td.Set(local, 999);
  EXPECT_EQ(td.time_word, 0xAB000000u | (23u << 19) | (59u << 13) | (58u << 7) | (999u % 128));
  EXPECT_EQ(td.date_word, 0xCD000000u | (2024u << 12) | (12u << 8) | (31u << 3) | 2u);
  EXPECT_EQ(MakeTime(nullptr), -1);
}

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

TEST(ApplicationRecords, NameSetterRecordsTheMainThread) {
  std::thread other([] { SetApplicationName("VandruUtil"); });
  other.join();
  EXPECT_EQ(GetApplicationName(), "VandruUtil");
  EXPECT_FALSE(IsMainThread());
  RecordMainThreadId();
  EXPECT_TRUE(IsMainThread());
  EXPECT_EQ(GetMainThreadId(), Kiv::Thread::GetCurrentId());
}

}  // namespace
