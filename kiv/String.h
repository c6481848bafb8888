// The engine's growable character strings, and printf-style formatting.
//
// Kiv::String and Kiv::AnsiString are held by value and are plain byte
// strings (UTF-8 on this platform). Nothing here throws except on
// exhaustion of memory (std::bad_alloc), as std::string does.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace Kiv {

using String = std::string;
using AnsiString = std::string;

// printf into a new string of any length. Never truncates; a null format or
// an encoding error gives the empty string.
String StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
String StringPrintfV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// ASCII-only case mapping, independent of the C locale.
inline char AsciiToLower(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}
inline char AsciiToUpper(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}
String AsciiLower(std::string_view text);
String AsciiUpper(std::string_view text);
// Byte-wise comparison that ignores ASCII letter case.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace Kiv
