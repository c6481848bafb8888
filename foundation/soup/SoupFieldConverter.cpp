// Converters bound to one field of a caller's structure (see
// foundation/soup/SoupFieldConverter.h).
#include "foundation/soup/SoupFieldConverter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "kiv/String.h"

namespace {

const char* OrEmpty(const char* text) {
  return text == nullptr ? "" : text;
}

// A decimal integer as strtol reads it, held to [low, high].
long long DecimalInteger(const char* text, long long low, long long high) {
  const long long value = std::strtoll(OrEmpty(text), nullptr, 10);
  return std::clamp(value, low, high);
}

bool TrueText(const char* text) {
  const std::string_view view = OrEmpty(text);
  return Kiv::EqualsIgnoreCase(view, "true") || view == "1" || Kiv::EqualsIgnoreCase(view, "t");
}

const char* BoolText(bool value) {
  return value ? "true" : "false";
}

}  // namespace

std::string SoupFieldConverter_FourCC::ToText() const {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((*field_ >> shift) & 0xFF);
    if (c == '\0') break;
    text += c;
  }
  return text;
}

void SoupFieldConverter_FourCC::FromText(const char* text) {
  std::string padded = OrEmpty(text);
  if (padded.size() < 4) padded.resize(4, ' ');
  uint32_t code = 0;
  for (int i = 0; i < 4; ++i) code = (code << 8) | static_cast<uint8_t>(padded[size_t(i)]);
  *field_ = code;
}

std::string SoupFieldConverter_Int::ToText() const {
  return std::to_string(*field_);
}

void SoupFieldConverter_Int::FromText(const char* text) {
  *field_ = static_cast<int32_t>(DecimalInteger(text, INT32_MIN, INT32_MAX));
}

std::string SoupFieldConverter_UInt::ToText() const {
  return std::to_string(*field_);
}

void SoupFieldConverter_UInt::FromText(const char* text) {
  *field_ = static_cast<uint32_t>(DecimalInteger(text, INT32_MIN, UINT32_MAX));
}

std::string SoupFieldConverter_Double::ToText() const {
  char buffer[32];
  const int length = std::snprintf(buffer, sizeof buffer, "%g", *field_);
  return std::string(buffer, std::clamp(length, 0, int(sizeof buffer) - 1));
}

void SoupFieldConverter_Double::FromText(const char* text) {
  *field_ = std::atof(OrEmpty(text));
}

std::string SoupFieldConverter_Bool::ToText() const {
  return BoolText(*field_);
}

void SoupFieldConverter_Bool::FromText(const char* text) {
  *field_ = TrueText(text);
}

std::string SoupFieldConverter_Bit::ToText() const {
  return BoolText((*word_ & mask_) != 0);
}

void SoupFieldConverter_Bit::FromText(const char* text) {
  if (TrueText(text)) {
    *word_ |= mask_;
  } else {
    *word_ &= ~mask_;
  }
}
