#include "kiv/Time.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace Kiv::Time {

uint64_t Ms() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void Delay(uint32_t ms) {
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

LocalTime Local() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  LocalTime out;
  if (localtime_r(&now.tv_sec, &parts) == nullptr) return out;
  out.year = parts.tm_year + 1900;
  out.month = parts.tm_mon + 1;
  out.day = parts.tm_mday;
  out.hour = parts.tm_hour;
  out.minute = parts.tm_min;
  out.second = parts.tm_sec;
  out.centisecond = static_cast<int>(now.tv_nsec / 10000000);
  return out;
}

}  // namespace Kiv::Time
