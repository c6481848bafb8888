#include "foundation/text/Crc32.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Bit-at-a-time CRC-32 (the zlib one), written independently of the tables.
uint32_t ReferenceCrc32(const unsigned char* p, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

TEST(Crc32, KnownValuesAndEmptyInputGivesZero) {
  EXPECT_EQ(Crc32Buffer("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc32Buffer("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32LowerString("ABC"), 0x352441C2u);
  EXPECT_EQ(Crc32Buffer("abc", 0), 0u);
  EXPECT_EQ(Crc32Buffer(nullptr, 5), 0u);
  EXPECT_EQ(Crc32LowerString(""), 0u);
  EXPECT_EQ(Crc32LowerString(nullptr), 0u);
}

TEST(Crc32, MatchesBitwiseReferenceOnRandomBuffersAndOffsets) {
  std::mt19937 rng(12345);
  std::vector<unsigned char> data(70000);
  for (auto& b : data) b = static_cast<unsigned char>(rng());
  // Every length near the 8-byte blocks, at unaligned starts, then large ones.
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t n = 0; n < 40; ++n) {
      const uint32_t want = n == 0 ? 0 : ReferenceCrc32(data.data() + offset, n);
      ASSERT_EQ(Crc32Buffer(data.data() + offset, n), want)
          << "offset " << offset << " length " << n;
    }
  }
  for (int round = 0; round < 20; ++round) {
    const size_t offset = rng() % 64;
    const size_t n = 1 + rng() % (data.size() - 64);
    ASSERT_EQ(Crc32Buffer(data.data() + offset, n), ReferenceCrc32(data.data() + offset, n));
  }
}

TEST(Crc32, LowerStringFoldsOnlyAsciiLetters) {
  const std::string mixed = "Scripts/MyAsset\xC4\xB0/Main.GS";
  std::string folded = mixed;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  }
  EXPECT_EQ(Crc32LowerString(mixed.c_str()), Crc32Buffer(folded.data(), folded.size()));
  // Bytes of 0x80 and above are hashed unchanged.
  EXPECT_NE(Crc32LowerString("\xC0"), Crc32LowerString("\xE0"));
}

TEST(Crc32, LowerStringDoesNotDependOnLocale) {
  const char* text = "INFO.TXT-\xC9\xDD";
  const uint32_t before = Crc32LowerString(text);
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* tried[] = {"tr_TR.UTF-8", "tr_TR.ISO-8859-9", "tr_TR", "de_DE.ISO-8859-1"};
  bool changed = false;
  for (const char* name : tried) {
    if (std::setlocale(LC_ALL, name) == nullptr) continue;
    changed = true;
    EXPECT_EQ(Crc32LowerString(text), before) << name;
  }
  std::setlocale(LC_ALL, saved.c_str());
  if (!changed) GTEST_SKIP() << "no Turkish or Latin-1 locale installed";
}

}  // namespace
