#include "foundation/text/Utf8.h"

namespace {

// Trailing-byte count for each lead byte: 0x00-0xBF none, 0xC0-0xDF one,
// 0xE0-0xEF two, 0xF0-0xF7 three. 0xF8 and above are refused before use.
int TrailingBytes(unsigned char lead) {
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  return 3;
}

// What the accumulation adds on top of the code point for each length: the
// lead byte's marker bits and the 0x80 of each trailing byte.
constexpr uint32_t kOffsets[4] = {0x00000000u, 0x00003080u, 0x000E2080u, 0x03C82080u};

void Finish(int length, int* outLength) {
  if (outLength != nullptr) *outLength = length;
}

}  // namespace

uint32_t DecodeUtf8Char(const char* text, size_t available, int* outLength) {
  if (text == nullptr || available == 0) {
    Finish(0, outLength);
    return 0;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  if (p[0] >= 0xF8) {
    Finish(1, outLength);
    return kUtf8ReplacementChar;
  }
  const int trailing = TrailingBytes(p[0]);
  if (size_t(trailing) >= available) {
    Finish(1, outLength);
    return kUtf8ReplacementChar;
  }
  uint32_t ch = 0;
  for (int i = 0; i <= trailing; ++i) {
    if (i > 0 && p[i] == 0) {
      Finish(1, outLength);
      return kUtf8ReplacementChar;
    }
    ch = (ch << 6) + p[i];
  }
  Finish(trailing + 1, outLength);
  return ch - kOffsets[trailing];
}
