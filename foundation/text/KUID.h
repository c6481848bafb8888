// KUID: the identifier of one content asset, with its text and stream forms.
//
// A KUID is three signed 32-bit fields: the author's user id, the author's
// number for the asset (content id) and a version 0..127. The null KUID
// (-1, -1, 127) is the value of every KUID that is not set or did not parse;
// a default-constructed KUID is null.
//
// Validity: a KUID is valid when its user id lies in 0..33554431 (0x1FFFFFF)
// with a version in 0..127, or when its user id lies in -33554432..-1 with
// version exactly 127. The null KUID is itself valid by this rule.
//
// Text forms. A KUID is written in the short two-number form when
// (version == 0 and userId >= 0) or (version == 127 and userId < 0), else in
// the long three-number form:
//   KUIDToTagString      "<kuid:U:C>" / "<kuid2:U:C:V>" / "<NULL>"
//   KUIDToPString        "<kuid:U:C>" always (version left out) / "<NULL>"
//   KUIDToShortString    "U:C" / "U:C:V" / "NULLKUID"
//   KUIDToKeywordString  "kuid U C" / "kuid2 U C V" / "NULLKUID"
// The "<NULL>" text is interned once and shared by every call.
//
// ParseKUID(text, strict) never fails loudly: text that is not a KUID gives
// the null KUID, and every parsed result that breaks the validity rule is
// replaced by the null KUID. It is safe on any NUL-terminated input (and on
// a null pointer). The forms it accepts, in the order they are tried:
//   1. null text                                   -> null KUID
//   2. "<NULL>" at the start (any case)            -> null KUID
//   3. "<kuid:" U ":" C                            -> version 0 if U >= 0, else 127
//   4. "<kuid2:" U ":" C ":" V                     -> (U, C, V); U outside
//                                                     0..0x1FFFFFF gives null
//   5. "kuid:" / "kuid2:" (no bracket)             -> read as 3 / 4
//   6. strict and none of the above                -> null KUID
//   7. only digits, '-' and ':' with one ':'       -> U ":" C, version by sign
//   8. '<', only digits '-' ':' with one ':', '>'  -> U ":" C, version by sign
//   9. only digits and '-' (the empty text too)    -> (-1, C, 127)
//  10. anything else                               -> null KUID
// The word "kuid" is matched in any letter case. Strict parsing (for KUIDs
// typed on the command line) accepts only forms 3..5 and checks their shape:
//   "<kuid:"  must be followed by exactly  -?D+ ":" D+ ">"  and nothing else;
//   "<kuid2:" must be followed by exactly  D+ ":" D+ ":" D+ ">"  and nothing else;
//   "kuid:" / "kuid2:" must be followed by -?D+ ":" (the rest is read as in
//   non-strict parsing).
//
// How the numbers are read (mirrors a "%d:%d[:%d]" scan). A number is an
// optional '-' followed by one or more decimal digits; no leading blanks or
// '+'. Fields are read in order with a literal ':' between them; reading
// stops at the first character that does not fit, and the fields not reached
// keep the null KUID's values (so non-strict "<kuid:5>" gives (5, -1, 0) and
// "<kuid2:5:6>" gives (5, 6, 127)). Whatever follows the last field read is
// ignored in the non-strict forms 3..5 (a missing '>' or trailing text does
// not matter). A number that does not fit in 32 signed bits makes the whole
// result the null KUID instead of wrapping.
//
// Stream form (8 bytes, little-endian): u32 contentId, then the packed word
// u32 (version << 25) | (userId & 0x1FFFFFF). Reading takes the user id as the
// packed word's low 25 bits sign-extended from bit 24 and the version as its
// top 7 bits. A short read of either word gives the null KUID (even when the
// content id was there) and leaves error 4 on the stream (the stream's first
// error stays). Reading does not apply the
// validity rule. Write-then-read reproduces every valid KUID whose user id
// lies in -16777216..16777215. The 25-bit field cannot hold more: valid user
// ids beyond that range come back wrapped into it (16777216 reads back as
// -16777216, -33554432 as 0), the same in the stream and raw soup forms.
// KUIDReadsBack tells which KUIDs these forms give back as they are: those
// whose fields fit the packed word (user id -16777216..16777215, version
// 0..127), the null KUID among them.
//
// Raw soup value (8 bytes, little-endian): the packed word first, then the
// content id; used by KUID tags in soups.
#pragma once

#include <cstdint>

#include "kiv/PString.h"
#include "kiv/String.h"

class TStream;

struct KUID {
  int32_t userId = -1;
  int32_t contentId = -1;
  int32_t version = 127;

  bool operator==(const KUID& other) const = default;
  bool IsNull() const;
  // The validity rule above.
  bool IsValid() const;
};

// The shared null KUID.
inline constexpr KUID kNullKUID{-1, -1, 127};

inline bool KUID::IsNull() const {
  return *this == kNullKUID;
}

// True when the KUID is written in the two-number form.
bool KUIDHasShortForm(const KUID& kuid);

Kiv::PString KUIDToTagString(const KUID& kuid);
Kiv::PString KUIDToPString(const KUID& kuid);
Kiv::String KUIDToShortString(const KUID& kuid);
Kiv::String KUIDToKeywordString(const KUID& kuid);

KUID ParseKUID(const char* text, bool strict);

// The packed word (version << 25) | (userId & 0x1FFFFFF), and back.
uint32_t KUIDPackWord(const KUID& kuid);
KUID KUIDUnpack(uint32_t packedWord, uint32_t contentWord);
// True when writing `kuid` to the stream or raw form and reading it back
// gives `kuid` again.
bool KUIDReadsBack(const KUID& kuid);

// The 8-byte raw value of a KUID tag: packed word, then content id.
void KUIDToRawBytes(const KUID& kuid, uint8_t out[8]);
KUID KUIDFromRawBytes(const uint8_t in[8]);

void WriteKUID(TStream& stream, const KUID& kuid);
KUID ReadKUID(TStream& stream);
TStream& operator<<(TStream& stream, const KUID& kuid);
TStream& operator>>(TStream& stream, KUID& kuid);
