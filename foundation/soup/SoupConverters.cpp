// The six converters of the soup library and the number test they use.
//
// Texts are read up to their first NUL and never past the core's size; texts
// made here always end with a NUL, so that any reader that takes them as C
// text stops inside the bytes. A value that does not convert (a text that
// fails the number test or does not scan, an integer that does not fit in
// 32 bits, a KUID value of fewer than 8 bytes) gives an empty result.
#include <algorithm>
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

// "%g" of each float. Finite values go through to_chars, whose general
// format with a precision is defined as printf's "%.*g" and is much faster.
void AppendFloatsText(const uint8_t* data, uint32_t count, std::string& out) {
  for (uint32_t i = 0; i < count; ++i) {
    if (i != 0) out += ',';
    float value;
    std::memcpy(&value, data + size_t(i) * 4, sizeof value);
    char buffer[32];
    if (std::isfinite(value)) {
      auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, double(value),
                                        std::chars_format::general, 6);
      if (error == std::errc()) {
        out.append(buffer, end);
        continue;
      }
    }
    const int length = std::snprintf(buffer, sizeof buffer, "%g", double(value));
    if (length > 0) out.append(buffer, std::min<size_t>(size_t(length), sizeof buffer - 1));
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
  // Every float with "%g", joined by ",".
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
