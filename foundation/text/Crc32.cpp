#include "foundation/text/Crc32.h"

#include <array>

#include "kiv/String.h"

namespace {

using Crc32Table = std::array<std::array<uint32_t, 256>, 8>;

// Table 0 is the classic byte table; table k gives the effect of a byte that
// is followed by k zero bytes, which lets the main loop fold 8 bytes at once.
constexpr Crc32Table MakeTables() {
  Crc32Table t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}

constexpr Crc32Table kTables = MakeTables();

inline uint32_t LoadLe32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint32_t Step(uint32_t crc, unsigned char byte) {
  return (crc >> 8) ^ kTables[0][(crc ^ byte) & 0xFF];
}

}  // namespace

uint32_t Crc32Buffer(const void* data, size_t length) {
  if (data == nullptr || length == 0) return 0;
  const auto* p = static_cast<const unsigned char*>(data);
  uint32_t crc = 0xFFFFFFFFu;
  for (; length >= 8; p += 8, length -= 8) {
    const uint32_t lo = crc ^ LoadLe32(p);
    const uint32_t hi = LoadLe32(p + 4);
    crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
          kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
  }
  for (; length > 0; ++p, --length) crc = Step(crc, *p);
  return ~crc;
}

uint32_t Crc32LowerString(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  uint32_t crc = 0xFFFFFFFFu;
  for (; *text != '\0'; ++text)
    crc = Step(crc, static_cast<unsigned char>(Kiv::AsciiToLower(*text)));
  return ~crc;
}
