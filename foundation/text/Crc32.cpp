#include "foundation/text/Crc32.h"

#include <zlib.h>

#include <array>

#include "kiv/String.h"

namespace {

// The classic byte table, for the lower-cased texts (short names, folded
// byte by byte).
constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[i] = c;
  }
  return t;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

inline uint32_t Step(uint32_t crc, unsigned char byte) {
  return (crc >> 8) ^ kTable[(crc ^ byte) & 0xFF];
}

}  // namespace

// The buffer's CRC is zlib's own (the same polynomial, start and final
// inversion), which is faster than a table walk.
uint32_t Crc32Buffer(const void* data, size_t length) {
  if (data == nullptr || length == 0) return 0;
  return uint32_t(crc32_z(0, static_cast<const Bytef*>(data), length));
}
uint32_t Crc32LowerString(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  uint32_t crc = 0xFFFFFFFFu;
  for (; *text != '\0'; ++text)
    crc = Step(crc, static_cast<unsigned char>(Kiv::AsciiToLower(*text)));
  return ~crc;
}
