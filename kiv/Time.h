// Clocks and sleeping.
//
// Time::Ms is a monotonic millisecond counter (it never goes back, and its
// origin is arbitrary: use it for differences only). Time::Delay sleeps the
// calling thread; Delay(0) only yields. Time::Local breaks the current wall
// clock down in the local time zone. Nothing here fails or throws.
#pragma once

#include <cstdint>

namespace Kiv::Time {

uint64_t Ms();
void Delay(uint32_t ms);

struct LocalTime {
  int year = 0;         // e.g. 2024
  int month = 0;        // 1 to 12
  int day = 0;          // 1 to 31
  int hour = 0;         // 0 to 23
  int minute = 0;       // 0 to 59
  int second = 0;       // 0 to 60 (a leap second)
  int centisecond = 0;  // 0 to 99
};

// All fields 0 in the unlikely case that the local time cannot be had.
LocalTime Local();

}  // namespace Kiv::Time
