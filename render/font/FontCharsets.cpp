#include "render/font/FontCharsets.h"

namespace {

struct Charset {
  const char* name;
  uint32_t number;
  const char* language;
};

constexpr Charset kCharsets[] = {
    {"ansi", 0, ""},        {"default", 1, ""},       {"symbol", 2, ""},
    {"mac", 77, ""},        {"shiftjis", 128, "ja"},  {"hangul", 129, "ko"},
    {"johab", 130, "ko"},   {"gb2312", 134, "zh-cn"}, {"big5", 136, "zh-tw"},
    {"greek", 161, "el"},   {"turkish", 162, "tr"},   {"vietnamese", 163, "vi"},
    {"hebrew", 177, "he"},  {"arabic", 178, "ar"},    {"baltic", 186, "lt"},
    {"russian", 204, "ru"}, {"thai", 222, "th"},      {"easteurope", 238, "pl"},
    {"oem", 255, ""},
};

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace

uint32_t CharsetFromName(std::string_view name) {
  for (const Charset& charset : kCharsets)
    if (EqualsIgnoreCase(name, charset.name)) return charset.number;
  return kDefaultCharset;
}

std::string_view CharsetLanguage(uint32_t charset) {
  for (const Charset& entry : kCharsets)
    if (entry.number == charset) return entry.language;
  return "";
}
