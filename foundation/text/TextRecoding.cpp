#include "foundation/text/TextRecoding.h"

#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80-0x9F. The undefined bytes map to the C1 control of
// the same value; every other byte of the code page is its own code point.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsWindows1252(unsigned codePage) {
  return codePage == CP_ACP || codePage == 1252;
}
bool IsSupported(unsigned codePage) {
  return codePage == CP_UTF8 || IsWindows1252(codePage);
}

char32_t Cp1252ToChar(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
  return byte;
}

char CharToCp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return char(c);
  for (unsigned i = 0; i < 32; ++i) {
    if (kCp1252High[i] == c) return char(0x80 + i);
  }
  return '?';
}

// Decodes one well-formed UTF-8 character at p (n > 0 bytes available) into
// *out and answers the bytes it took. An ill-formed part gives U+FFFD and
// takes the longest prefix that could have begun a valid sequence (at least
// one byte).
size_t DecodeStrict(const unsigned char* p, size_t n, char32_t* out) {
  const unsigned char lead = p[0];
  *out = kReplacement;
  if (lead < 0x80) {
    *out = lead;
    return 1;
  }
  size_t trailing = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // Range of the first trailing byte.
  char32_t c = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2;
    c = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;  // Overlong.
    if (lead == 0xED) hi = 0x9F;  // Surrogates.
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3;
    c = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;  // Overlong.
    if (lead == 0xF4) hi = 0x8F;  // Above U+10FFFF.
  } else {
    return 1;
  }
  for (size_t i = 1; i <= trailing; ++i) {
    if (i >= n || p[i] < lo || p[i] > hi) return i;
    c = (c << 6) | (p[i] & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  *out = c;
  return trailing + 1;
}

std::u32string Widen(std::string_view text, unsigned codePage) {
  std::u32string wide;
  wide.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t left = text.size();
  while (left > 0) {
    if (IsWindows1252(codePage)) {
      wide.push_back(Cp1252ToChar(*p));
      ++p;
      --left;
      continue;
    }
    char32_t c = 0;
    const size_t used = DecodeStrict(p, left, &c);
    wide.push_back(c);
    p += used;
    left -= used;
  }
  return wide;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(char(c));
  } else if (c < 0x800) {
    out->push_back(char(0xC0 | (c >> 6)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(char(0xE0 | (c >> 12)));
    out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (c >> 18)));
    out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  }
}

std::string Narrow(const std::u32string& wide, unsigned codePage) {
  std::string narrow;
  narrow.reserve(wide.size());
  for (char32_t c : wide) {
    if (IsWindows1252(codePage)) {
      narrow.push_back(CharToCp1252(c));
      continue;
    }
    AppendUtf8(c, &narrow);
  }
  return narrow;
}

int64_t Fail(char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) text[i] = '?';
  }
  return -1;
}

}  // namespace

int64_t RecodeText(char* buffer, size_t bufferSize, unsigned fromCodePage, unsigned toCodePage) {
  if (buffer == nullptr) return -1;
  const size_t length = strnlen(buffer, bufferSize);
  if (!IsSupported(fromCodePage) || !IsSupported(toCodePage)) return Fail(buffer, length);
  try {
    const std::string narrow =
        Narrow(Widen(std::string_view(buffer, length), fromCodePage), toCodePage);
    const size_t needed = narrow.size() + 1;
    if (needed > bufferSize) return int64_t(needed);
    std::memcpy(buffer, narrow.data(), narrow.size());
    buffer[narrow.size()] = '\0';
    return 0;
  } catch (const std::bad_alloc&) {
    return Fail(buffer, length);
  }
}

int64_t Utf8ToCodePage(char* buffer, size_t bufferSize, unsigned codePage) {
  return RecodeText(buffer, bufferSize, CP_UTF8, codePage);
}

int64_t CodePageToUtf8(size_t bufferSize, char* buffer) {
  return RecodeText(buffer, bufferSize, CP_ACP, CP_UTF8);
}
