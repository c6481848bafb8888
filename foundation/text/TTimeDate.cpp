#include "foundation/text/TTimeDate.h"

#include <time.h>

namespace {

constexpr uint32_t kHighByte = 0xFF000000u;

uint32_t Field(int value, uint32_t mask, int shift) {
  return (static_cast<uint32_t>(value) & mask) << shift;
}

}  // namespace

void TTimeDate::Set(const std::tm& local, uint32_t milliseconds) {
  time_word = (time_word & kHighByte) | Field(local.tm_hour, 0x1F, 19) |
              Field(local.tm_min, 0x3F, 13) | Field(local.tm_sec, 0x3F, 7) | (milliseconds & 0x7F);
  date_word = (date_word & kHighByte) | Field(local.tm_year + 1900, 0xFFF, 12) |
              Field(local.tm_mon + 1, 0xF, 8) | Field(local.tm_mday, 0x1F, 3) |
              Field(local.tm_wday, 0x7, 0);
}

void TTimeDate::SetToNow() {
  timespec now{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return;
  std::tm local{};
  if (localtime_r(&now.tv_sec, &local) == nullptr) return;
  Set(local, static_cast<uint32_t>(now.tv_nsec / 1000000));
}

int64_t GetTime() {
  return static_cast<int64_t>(std::time(nullptr));
}

int64_t MakeTime(std::tm* local) {
  if (local == nullptr) return -1;
  return static_cast<int64_t>(std::mktime(local));
}
