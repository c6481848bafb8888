// Conversion of soup values between types.
//
// ACSConverter turns a raw value of its source type into one of its target
// type. Every converter links itself in at the head of one process-wide list
// when it is constructed (the most recently made converter is found first)
// and takes itself out when destroyed. The six converters of the soup
// library (text <-> integer, text <-> float, text <-> KUID) are made on the
// first ACSConvert, in that order, through EnsureSoupConverters. Converters
// are made and destroyed at start-up or shut-down only: the list is not
// locked against a converter being made while another thread converts.
// The float-to-text converter writes each float as the text form reads it
// back to the same 32 bits: "%g" when that text does (2.5, 240), else plain
// decimal digits with a "." and no exponent (0.00001, 1234567.5).
//
// ACSConvert(from, core, to):
//   from == to   the same core (shared);
//   from == 0    empty;
//   otherwise    the first converter from `from` to `to`; else the first
//                pair (from -> X, X -> to) found by walking the converters
//                from `from` in list order; else empty.
// A converter answers an empty core when the value does not convert (a text
// that fails the number test or does not scan, a KUID value of fewer than 8
// bytes). Texts made by converters always end with a NUL; texts read by them
// are taken up to their first NUL and never beyond the core's size.
//
// IsNumberText(text): an optional '-', then a non-empty rest of digits with
// at most one '.', and at most one exponent: an 'e' (lower case) that comes
// after the '.', followed by '+' or '-' and then at least one more
// character; trailing blanks and tabs are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/soup/ACSRawDataCore.h"

class ACSConverter {
 public:
  ACSConverter(uint32_t sourceType, uint32_t targetType);
  virtual ~ACSConverter();
  ACSConverter(const ACSConverter&) = delete;
  ACSConverter& operator=(const ACSConverter&) = delete;

  // Replaces `target` with the converted value (empty when the value does
  // not convert) and drops the reference to `source`.
  virtual void Convert(CoreRef source, CoreRef& target) const = 0;

  uint32_t SourceType() const { return sourceType_; }
  uint32_t TargetType() const { return targetType_; }
  ACSConverter* Next() const { return next_; }
  // The head of the process-wide list.
  static ACSConverter* First();

 private:
  ACSConverter* prev_ = nullptr;
  ACSConverter* next_ = nullptr;
  uint32_t sourceType_;
  uint32_t targetType_;
};

CoreRef ACSConvert(uint32_t fromType, CoreRef core, uint32_t toType);

// Makes the six converters of the soup library once (defined with them).
void EnsureSoupConverters();

// Appends to `out` the text, without its NUL, that ACSConvert(type, value of
// `size` bytes at `data`, kString) makes, when the converter it would run is
// the library's own integer, float or KUID converter; then answers true.
// Answers false, appending nothing, for other types or when another
// converter comes first. Makes no core and interns nothing, so writers of
// many values use it before falling back to ACSConvert.
bool AppendValueText(uint32_t type, const uint8_t* data, uint32_t size, std::string& out);

bool IsNumberText(std::string_view text);
