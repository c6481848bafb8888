#include "foundation/text/Utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

uint32_t Decode(const char* text, int* length) {
  return DecodeUtf8Char(text, std::strlen(text) + 1, length);
}

TEST(Utf8, DecodesOneToFourByteSequences) {
  int length = 0;
  EXPECT_EQ(Decode("A", &length), 0x41u);
  EXPECT_EQ(length, 1);
  EXPECT_EQ(Decode("\xC3\xA9x", &length), 0xE9u);
  EXPECT_EQ(length, 2);
  EXPECT_EQ(Decode("\xE2\x82\xAC", &length), 0x20ACu);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(Decode("\xF0\x9F\x98\x80", &length), 0x1F600u);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(DecodeUtf8Char("\xC3\xA9", 2, nullptr), 0xE9u);  // Length not asked for.
}

TEST(Utf8, KeepsLenientDecodingOfUnvalidatedBytes) {
  int length = 0;
  EXPECT_EQ(Decode("\x80", &length), 0x80u);  // Stray continuation byte.
  EXPECT_EQ(length, 1);
  EXPECT_EQ(Decode("\xC0\xAF", &length), 0x2Fu);  // Overlong "/".
  EXPECT_EQ(length, 2);
  EXPECT_EQ(DecodeUtf8Char("", 1, &length), 0u);
  EXPECT_EQ(length, 1);
}

TEST(Utf8, LeadBytesF8AndAboveGiveReplacement) {
  for (int lead = 0xF8; lead <= 0xFF; ++lead) {
    const char text[] = {char(lead), '\x80', '\x80', '\x80', '\x80', '\x80', 0};
    int length = 0;
    EXPECT_EQ(DecodeUtf8Char(text, sizeof text, &length), kUtf8ReplacementChar) << lead;
    EXPECT_EQ(length, 1);
  }
}

TEST(Utf8, TruncatedSequenceAtBufferEndIsNotReadPast) {
  // Exact-size heap blocks so that AddressSanitizer catches any over-read.
  const char* cases[] = {"\xC3", "\xE2\x82", "\xF0\x9F\x98", "\xE2", "\xF0"};
  for (const char* c : cases) {
    const size_t n = std::strlen(c);
    std::unique_ptr<char[]> block(new char[n]);
    std::memcpy(block.get(), c, n);
    int length = 0;
    EXPECT_EQ(DecodeUtf8Char(block.get(), n, &length), kUtf8ReplacementChar);
    EXPECT_EQ(length, 1);
  }
}

TEST(Utf8, NulInsideSequenceStopsIt) {
  int length = 0;
  EXPECT_EQ(Decode("\xE2\x82", &length), kUtf8ReplacementChar);  // NUL is the third byte.
  EXPECT_EQ(length, 1);
  const char text[] = {'\xF0', '\0', '\x98', '\x80'};
  EXPECT_EQ(DecodeUtf8Char(text, sizeof text, &length), kUtf8ReplacementChar);
  EXPECT_EQ(length, 1);
}

TEST(Utf8, NothingAvailableGivesZeroLength) {
  int length = 7;
  EXPECT_EQ(DecodeUtf8Char("A", 0, &length), 0u);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(DecodeUtf8Char(nullptr, 4, &length), 0u);
  EXPECT_EQ(length, 0);
}

}  // namespace
