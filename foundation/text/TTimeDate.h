// A local date and time packed into two 32-bit words, and C clock helpers.
//
// Each word uses its low 24 bits; the top 8 bits are left as they were.
//   time word: bits 19-23 hour, 13-18 minute, 7-12 second, 0-6 the low seven
//              bits of the millisecond count (so milliseconds modulo 128);
//   date word: bits 12-23 year, 8-11 month (1-12), 3-7 day of the month,
//              0-2 day of the week (0 = Sunday).
// Every field is masked to its width. SetToNow reads the local wall clock;
// when the local time cannot be had, the words are left unchanged.
//
// GetTime answers the seconds since the epoch (time(nullptr)); MakeTime
// converts a broken-down local time (mktime, which may normalise `local`),
// -1 when it cannot be represented or `local` is null.
#pragma once

#include <cstdint>
#include <ctime>

class TTimeDate {
 public:
  uint32_t time_word = 0;
  uint32_t date_word = 0;

  void SetToNow();
  // Packs `local` (tm_year counts from 1900, tm_mon from 0) and the
  // millisecond count.
  void Set(const std::tm& local, uint32_t milliseconds);
};

int64_t GetTime();
int64_t MakeTime(std::tm* local);
