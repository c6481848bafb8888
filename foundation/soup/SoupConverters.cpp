// The six converters of the soup library and the number test they use.
//
// Texts are read up to their first NUL and never past the core's size; texts
// made here always end with a NUL, so that any reader that takes them as C
// text stops inside the bytes. A value that does not convert (a text that
// fails the number test or does not scan, an integer that does not fit in
// 32 bits, a KUID value of fewer than 8 bytes) gives an empty result.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/ACSConvert.h"
#include "foundation/text/KUID.h"

bool IsNumberText(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  size_t i = 0;
  if (i < end && text[i] == '-') ++i;
  if (i == end) return false;
  bool dot = false;
  bool exponent = false;
  for (; i < end; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') continue;
    if (c == '.' && !dot && !exponent) {
      dot = true;
      continue;
    }
    if (c != 'e' || !dot || exponent) return false;
    // The 'e' needs a sign after it, and something after the sign.
    if (i + 2 >= end || (text[i + 1] != '+' && text[i + 1] != '-')) return false;
    exponent = true;
    ++i;
  }
  return true;
}

namespace {

CoreRef TextCore(const std::string& text) {
  return ACSRawDataCore::CreateCopy(text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

uint32_t WordCount(const ACSRawDataCore* core) {
  return core == nullptr ? 0 : core->Size() / 4;
}

}  // namespace

class ACSConverter_TextInt : public ACSConverter {
 public:
  ACSConverter_TextInt() : ACSConverter(SoupType::kString, SoupType::kInt) {}
  // Reads like "%d": an optional '-' and digits, up to the first other
  // character ("2.5" gives 2).
  void Convert(CoreRef source, CoreRef& target) const override {
    std::string_view text = ACSRawDataCore::TextView(source.get());
    target.Reset();
    if (!IsNumberText(text)) return;
    int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (error != std::errc()) return;
    target = ACSRawDataCore::CreateCopy(&value, sizeof value);
  }
};

class ACSConverter_TextFloat : public ACSConverter {
 public:
  ACSConverter_TextFloat() : ACSConverter(SoupType::kString, SoupType::kFloat) {}
  // Reads like "%f" (strtof): a text that passes the number test but holds
  // no number, such as ".", gives no value.
  void Convert(CoreRef source, CoreRef& target) const override {
    const std::string text(ACSRawDataCore::TextView(source.get()));
    target.Reset();
    if (!IsNumberText(text)) return;
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (end == text.c_str()) return;
    target = ACSRawDataCore::CreateCopy(&value, sizeof value);
  }
};

class ACSConverter_TextKUID : public ACSConverter {
 public:
  ACSConverter_TextKUID() : ACSConverter(SoupType::kString, SoupType::kKUID) {}
  void Convert(CoreRef source, CoreRef& target) const override {
    const std::string text(ACSRawDataCore::TextView(source.get()));
    uint8_t raw[8];
    KUIDToRawBytes(ParseKUID(text.c_str(), false), raw);
    target = ACSRawDataCore::CreateCopy(raw, sizeof raw);
  }
};

namespace {

// The texts of the built-in converters, appended to `out`.
void AppendIntsText(const uint8_t* data, uint32_t count, std::string& out) {
  for (uint32_t i = 0; i < count; ++i) {
    if (i != 0) out += ',';
    int32_t value;
    std::memcpy(&value, data + size_t(i) * 4, sizeof value);
    char buffer[16];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)error;
    out.append(buffer, end);
  }
}

// True when the text reader gives back the 32 bits of `value` for
// [from, to): in a list, where every piece is a float, or `alone` as a
// tag's whole value, where a text without a '.' is an integer. The reader
// takes a number for the longest prefix of digits and one '.' that the full
// scan reads ("%f"); an exponent makes the value a string.
bool ReadsBackAs(const char* from, const char* to, float value, bool alone) {
  float back = 0;
  const auto [next, error] = std::from_chars(from, to, back, std::chars_format::fixed);
  if (error != std::errc() || next != to) return false;
  if (std::bit_cast<uint32_t>(back) != std::bit_cast<uint32_t>(value)) return false;
  // Alone, "-0" is the integer 0, which has no sign.
  const bool signedZero = value == 0 && std::signbit(value);
  return !(alone && signedZero && std::memchr(from, '.', size_t(to - from)) == nullptr);
}

// Appends finite `value` in plain decimal: the fewest significant digits
// that read back to it (those of its shortest scientific form), spelled out
// with zeros and always with a '.', never with an exponent: 1.5e-05 as
// 0.000015, 1e+20 as 100000000000000000000.0, -0 as -0.0.
void AppendPlainDecimal(float value, std::string& out) {
  char buffer[32];
  const char* const end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
  const char* p = buffer;
  if (*p == '-') out += *p++;
  const char* const mark = std::find(p, end, 'e');
  char digits[16];
  size_t count = 0;
  for (; p < mark && count < sizeof digits; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  // The scientific form always ends in "e", a sign and digits; from_chars
  // takes only a '-'.
  int exponent = 0;
  std::from_chars(mark + (mark[1] == '+' ? 2 : 1), end, exponent);
  const int whole = exponent + 1;  // digits before the '.'
  if (whole <= 0) {
    out += "0.";
    out.append(size_t(-whole), '0');
    out.append(digits, count);
    return;
  }
  if (size_t(whole) >= count) {
    out.append(digits, count);
    out.append(size_t(whole) - count, '0');
    out += ".0";
    return;
  }
  out.append(digits, size_t(whole));
  out += '.';
  out.append(digits + whole, count - size_t(whole));
}

// Each float as text that the text reader reads back to the same 32 bits,
// joined by ",". The "%g" text (six significant digits, general format) is
// kept when it reads back so, which holds for the short values people
// write (2.5, 240, 0.001); any other finite value is written by
// AppendPlainDecimal (1234567.5, 0.00001, 1234567.0), with a '.' so that it
// reads back as a float even alone. Infinities and NaN have no number text:
// "%g" writes them ("inf", "nan").
void AppendFloatsText(const uint8_t* data, uint32_t count, std::string& out) {
  for (uint32_t i = 0; i < count; ++i) {
    if (i != 0) out += ',';
    float value;
    std::memcpy(&value, data + size_t(i) * 4, sizeof value);
    char buffer[32];
    if (!std::isfinite(value)) {
      const int length = std::snprintf(buffer, sizeof buffer, "%g", double(value));
      if (length > 0) out.append(buffer, std::min<size_t>(size_t(length), sizeof buffer - 1));
      continue;
    }
    // to_chars' general format with a precision is printf's "%.*g".
    const auto general =
        std::to_chars(buffer, buffer + sizeof buffer, double(value), std::chars_format::general, 6);
    if (general.ec == std::errc() && ReadsBackAs(buffer, general.ptr, value, count == 1)) {
      out.append(buffer, size_t(general.ptr - buffer));
      continue;
    }
    AppendPlainDecimal(value, out);
  }
}

void AppendKUIDText(const uint8_t* data, std::string& out) {
  const KUID kuid = KUIDFromRawBytes(data);
  if (kuid.IsNull()) {
    out.append(KUIDToTagString(kuid).View());
    return;
  }
  const bool shortForm = KUIDHasShortForm(kuid);
  out.append(shortForm ? "<kuid:" : "<kuid2:");
  const int32_t parts[3] = {kuid.userId, kuid.contentId, int32_t(kuid.version)};
  for (int i = 0; i < (shortForm ? 2 : 3); ++i) {
    if (i != 0) out += ':';
    char buffer[16];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, parts[i]);
    out.append(buffer, written.ptr);
  }
  out += '>';
}

}  // namespace

class ACSConverter_IntText : public ACSConverter {
 public:
  ACSConverter_IntText() : ACSConverter(SoupType::kInt, SoupType::kString) {}
  // Every integer with "%d", joined by ",".
  void Convert(CoreRef source, CoreRef& target) const override {
    const uint32_t n = WordCount(source.get());
    target.Reset();
    if (n == 0) return;
    std::string text;
    text.reserve(size_t(n) * 12);
    AppendIntsText(source->Data(), n, text);
    target = TextCore(text);
  }
};

class ACSConverter_FloatText : public ACSConverter {
 public:
  ACSConverter_FloatText() : ACSConverter(SoupType::kFloat, SoupType::kString) {}
  // Every float as AppendFloatsText writes it, joined by ",".
  void Convert(CoreRef source, CoreRef& target) const override {
    const uint32_t n = WordCount(source.get());
    target.Reset();
    if (n == 0) return;
    std::string text;
    text.reserve(size_t(n) * 14);
    AppendFloatsText(source->Data(), n, text);
    target = TextCore(text);
  }
};

class ACSConverter_KUIDText : public ACSConverter {
 public:
  ACSConverter_KUIDText() : ACSConverter(SoupType::kKUID, SoupType::kString) {}
  void Convert(CoreRef source, CoreRef& target) const override {
    const bool whole = source && source->Size() >= 8;
    target.Reset();
    if (!whole) return;
    std::string text;
    AppendKUIDText(source->Data(), text);
    target = TextCore(text);
  }
};

void EnsureSoupConverters() {
  // Members are made in this order, each at the head of the list, so the
  // last one is found first.
  static const struct Builtins {
    ACSConverter_TextInt textInt;
    ACSConverter_TextFloat textFloat;
    ACSConverter_TextKUID textKUID;
    ACSConverter_IntText intText;
    ACSConverter_FloatText floatText;
    ACSConverter_KUIDText kuidText;
  } builtins;
  (void)builtins;
}

bool AppendValueText(uint32_t type, const uint8_t* data, uint32_t size, std::string& out) {
  EnsureSoupConverters();
  const ACSConverter* first = ACSConverter::First();
  for (; first != nullptr; first = first->Next()) {
    if (first->SourceType() == type && first->TargetType() == SoupType::kString) break;
  }
  if (first == nullptr) return false;
  if (type == SoupType::kInt && dynamic_cast<const ACSConverter_IntText*>(first) != nullptr) {
    AppendIntsText(data, size / 4, out);
    return true;
  }
  if (type == SoupType::kFloat && dynamic_cast<const ACSConverter_FloatText*>(first) != nullptr) {
    AppendFloatsText(data, size / 4, out);
    return true;
  }
  if (type == SoupType::kKUID && dynamic_cast<const ACSConverter_KUIDText*>(first) != nullptr) {
    if (size >= 8) AppendKUIDText(data, out);
    return true;
  }
  return false;
}
