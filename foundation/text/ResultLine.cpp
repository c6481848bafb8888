#include "foundation/text/ResultLine.h"

#include <string_view>

namespace {

// The length of the well-formed UTF-8 sequence at `at`, or 0 when the bytes
// there are not one (strict: no overlong forms, surrogates or values above
// U+10FFFF).
size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// Whether one character (its UTF-8 bytes) is a control character that a
// line shows escaped: C0, DEL, C1 (U+0080-U+009F), U+2028 and U+2029.
bool IsControl(std::string_view character) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(character[i]); };
  switch (character.size()) {
    case 1:
      return byte(0) < 0x20 || byte(0) == 0x7F;
    case 2:
      return byte(0) == 0xC2 && byte(1) <= 0x9F;
    case 3:
      return byte(0) == 0xE2 && byte(1) == 0x80 && (byte(2) == 0xA8 || byte(2) == 0xA9);
    default:
      return false;
  }
}

void AppendEscaped(Kiv::String& line, char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto value = static_cast<unsigned char>(c);
  line += "\\x";
  line += kHex[value >> 4];
  line += kHex[value & 0xF];
}

}  // namespace

Kiv::String CopyResultLine(const Kiv::String& text) {
  const std::string_view view(text.c_str());  // up to the first NUL
  const bool utf8 = IsValidUtf8(view);
  Kiv::String line;
  line.reserve(view.size());
  for (size_t at = 0; at < view.size();) {
    if (!utf8 && static_cast<unsigned char>(view[at]) >= 0x80) {
      line += '?';
      ++at;
      continue;
    }
    const size_t length = utf8 ? Utf8SequenceLength(view, at) : 1;
    const std::string_view character = view.substr(at, length);
    at += length;
    if (IsControl(character)) {
      for (const char c : character) AppendEscaped(line, c);
    } else if (character == "\\" && at < view.size() && view[at] == 'x') {
      AppendEscaped(line, '\\');
    } else {
      line += character;
    }
  }
  return line;
}
