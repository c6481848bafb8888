#include "foundation/text/PathHelpers.h"

#include <cstring>

bool GetExtensionOf(const char* name, Kiv::String* extension) {
  if (extension == nullptr) return false;
  if (!extension->empty()) {
    if ((*extension)[0] == '.') extension->erase(0, 1);
    return true;
  }
  const char* dot = name != nullptr ? std::strrchr(name, '.') : nullptr;
  if (dot == nullptr) return false;
  extension->assign(dot + 1);
  return true;
}

bool IsTextureSourceFile(const char* name) {
  static constexpr std::string_view kEnding = ".texture.txt";
  if (name == nullptr) return false;
  const std::string_view text(name);
  if (text.size() < kEnding.size()) return false;
  return Kiv::EqualsIgnoreCase(text.substr(text.size() - kEnding.size()), kEnding);
}

bool IsDotOrDotDot(const char* name) {
  if (name == nullptr) return false;
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool WildcardPrefixMatch(const char* pattern, const char* text) {
  if (pattern == nullptr) return true;
  if (text == nullptr) text = "";
  for (; *pattern != '\0'; ++pattern, ++text) {
    if (*text == '\0') return false;
    if (*pattern == '?') continue;
    if (Kiv::AsciiToLower(*pattern) != Kiv::AsciiToLower(*text)) return false;
  }
  return true;
}
