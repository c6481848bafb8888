// ParseKUID: the text forms a KUID may be given in (see KUID.h).

#include <cstddef>
#include <cstdint>

#include "foundation/text/KUID.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// True when `text` begins with `prefix`, ASCII letters compared in any case.
bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix) {
    if (Kiv::AsciiToLower(*text) != Kiv::AsciiToLower(*prefix)) return false;
  }
  return true;
}

// Shape checks for strict parsing. Each consumes what it matches.
bool SkipDigits(const char*& p) {
  const char* start = p;
  while (IsDigit(*p)) ++p;
  return p != start;
}

bool SkipChar(const char*& p, char c) {
  if (*p != c) return false;
  ++p;
  return true;
}

bool SkipNumber(const char*& p, bool allowMinus) {
  if (allowMinus) SkipChar(p, '-');
  return SkipDigits(p);
}

// -?D+ ":" D+ ">" and the end of the text.
bool IsStrictShortTag(const char* p) {
  return SkipNumber(p, true) && SkipChar(p, ':') && SkipDigits(p) && SkipChar(p, '>') && *p == '\0';
}

// D+ ":" D+ ":" D+ ">" and the end of the text.
bool IsStrictLongTag(const char* p) {
  return SkipDigits(p) && SkipChar(p, ':') && SkipDigits(p) && SkipChar(p, ':') && SkipDigits(p) &&
         SkipChar(p, '>') && *p == '\0';
}

// -?D+ ":" at the start.
bool HasStrictWordStart(const char* p) {
  return SkipNumber(p, true) && SkipChar(p, ':');
}

enum class Scan { kNone, kOk, kOverflow };

// Reads an optional '-' and one or more digits into `out`, with the range of
// int32_t checked digit by digit. On kNone and kOverflow `out` is untouched.
Scan ScanInt(const char*& p, int32_t& out) {
  const char* q = p;
  const bool negative = *q == '-';
  if (negative) ++q;
  if (!IsDigit(*q)) return Scan::kNone;
  const int64_t limit = negative ? int64_t(INT32_MAX) + 1 : int64_t(INT32_MAX);
  int64_t value = 0;
  for (; IsDigit(*q); ++q) {
    value = value * 10 + (*q - '0');
    if (value > limit) return Scan::kOverflow;
  }
  out = int32_t(negative ? -value : value);
  p = q;
  return Scan::kOk;
}

// Reads up to `count` numbers separated by ':' from `p`, as "%d:%d[:%d]"
// would: stops at the first mismatch, leaving the later fields untouched.
// False when a number does not fit in 32 bits.
bool ScanFields(const char* p, int32_t* const fields[], int count) {
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !SkipChar(p, ':')) return true;
    const Scan scan = ScanInt(p, *fields[i]);
    if (scan == Scan::kOverflow) return false;
    if (scan == Scan::kNone) return true;
  }
  return true;
}

// "%d:%d" from `p`; the version follows the sign of the user id.
KUID ReadShortForm(const char* p) {
  KUID kuid = kNullKUID;
  int32_t* const fields[] = {&kuid.userId, &kuid.contentId};
  if (!ScanFields(p, fields, 2)) return kNullKUID;
  kuid.version = kuid.userId >= 0 ? 0 : 127;
  return kuid;
}

// "%d:%d:%d" from `p`; a user id outside 0..0x1FFFFFF gives null.
KUID ReadLongForm(const char* p) {
  KUID kuid = kNullKUID;
  int32_t* const fields[] = {&kuid.userId, &kuid.contentId, &kuid.version};
  if (!ScanFields(p, fields, 3)) return kNullKUID;
  if (uint32_t(kuid.userId) > 0x1FFFFFFu) return kNullKUID;
  return kuid;
}

// Only characters of "digits, '-' and ':'" in [begin, end), with the number
// of ':' returned through `colons`.
bool OnlyNumberChars(const char* begin, const char* end, bool allowColon, int& colons) {
  colons = 0;
  for (const char* p = begin; p != end; ++p) {
    if (IsDigit(*p) || *p == '-') continue;
    if (!allowColon || *p != ':') return false;
    ++colons;
  }
  return true;
}

KUID ParseWordForms(const char* text, bool strict, bool& matched) {
  matched = true;
  if (StartsWithNoCase(text, "<kuid:")) {
    if (strict && !IsStrictShortTag(text + 6)) return kNullKUID;
    return ReadShortForm(text + 6);
  }
  if (StartsWithNoCase(text, "<kuid2:")) {
    if (strict && !IsStrictLongTag(text + 7)) return kNullKUID;
    return ReadLongForm(text + 7);
  }
  if (StartsWithNoCase(text, "kuid:")) {
    if (strict && !HasStrictWordStart(text + 5)) return kNullKUID;
    return ReadShortForm(text + 5);
  }
  if (StartsWithNoCase(text, "kuid2:")) {
    if (strict && !HasStrictWordStart(text + 6)) return kNullKUID;
    return ReadLongForm(text + 6);
  }
  matched = false;
  return kNullKUID;
}

KUID ParseBareForms(const char* text) {
  const char* end = text;
  while (*end) ++end;
  int colons = 0;
  if (OnlyNumberChars(text, end, true, colons) && colons == 1) return ReadShortForm(text);
  const size_t length = size_t(end - text);
  if (length >= 2 && text[0] == '<' && end[-1] == '>' &&
      OnlyNumberChars(text + 1, end - 1, true, colons) && colons == 1) {
    return ReadShortForm(text + 1);
  }
  if (OnlyNumberChars(text, end, false, colons)) {
    KUID kuid = kNullKUID;
    return ScanInt(text, kuid.contentId) == Scan::kOverflow ? kNullKUID : kuid;
  }
  return kNullKUID;
}

KUID ParseAnyForm(const char* text, bool strict) {
  if (StartsWithNoCase(text, "<NULL>")) return kNullKUID;
  bool matched = false;
  const KUID kuid = ParseWordForms(text, strict, matched);
  if (matched || strict) return kuid;
  return ParseBareForms(text);
}

}  // namespace

KUID ParseKUID(const char* text, bool strict) {
  if (!text) return kNullKUID;
  const KUID kuid = ParseAnyForm(text, strict);
  return kuid.IsValid() ? kuid : kNullKUID;
}
