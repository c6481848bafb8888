#include "kiv/String.h"

#include <cstdio>

namespace Kiv {

String StringPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  String out = StringPrintfV(format, args);
  va_end(args);
  return out;
}

String StringPrintfV(const char* format, va_list args) {
  if (format == nullptr) return String();
  char small[256];
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return String();
  if (static_cast<size_t>(needed) < sizeof small) return String(small, static_cast<size_t>(needed));
  String out(static_cast<size_t>(needed), '\0');
  va_copy(copy, args);
  std::vsnprintf(out.data(), out.size() + 1, format, copy);
  va_end(copy);
  return out;
}

String AsciiLower(std::string_view text) {
  String out(text);
  for (char& c : out) c = AsciiToLower(c);
  return out;
}

String AsciiUpper(std::string_view text) {
  String out(text);
  for (char& c : out) c = AsciiToUpper(c);
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
  }
  return true;
}

}  // namespace Kiv
