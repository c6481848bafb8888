#include "foundation/text/Utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// Decodes `bytes` from a heap block of exactly their size, so that
// AddressSanitizer catches any read past them.
uint32_t DecodeExact(const std::string& bytes, int* length) {
  std::unique_ptr<char[]> block(new char[bytes.size()]);
  std::memcpy(block.get(), bytes.data(), bytes.size());
  return DecodeUtf8Char(block.get(), bytes.size(), length);
}

TEST(Utf8, DecodesLenientlyAndNeverReadsPastTheBytes) {
  const uint32_t kBad = kUtf8ReplacementChar;
  const struct {
    std::string bytes;
    uint32_t code;
    int length;
  } cases[] = {
      {"A", 0x41, 1},
      {"\xC3\xA9x", 0xE9, 2},
      {"\xE2\x82\xAC", 0x20AC, 3},
      {"\xF0\x9F\x98\x80", 0x1F600, 4},
      // Bytes nobody validated keep their lenient reading.
      {"\x80", 0x80, 1},      // a stray continuation byte
      {"\xC0\xAF", 0x2F, 2},  // an overlong "/"
      {std::string(1, '\0'), 0, 1},
      // A sequence cut by the end of the bytes or by a NUL.
      {"\xC3", kBad, 1},
      {"\xE2\x82", kBad, 1},
      {"\xF0\x9F\x98", kBad, 1},
      {std::string("\xF0\0\x98\x80", 4), kBad, 1},
      // Nothing to read.
      {"", 0, 0},
  };
  for (const auto& c : cases) {
    int length = 7;
    EXPECT_EQ(DecodeExact(c.bytes, &length), c.code) << testing::PrintToString(c.bytes);
    EXPECT_EQ(length, c.length) << testing::PrintToString(c.bytes);
  }
  for (int lead = 0xF8; lead <= 0xFF; ++lead) {
    int length = 0;
    EXPECT_EQ(DecodeExact(std::string(1, char(lead)) + "\x80\x80\x80\x80\x80", &length), kBad);
    EXPECT_EQ(length, 1);
  }
  int length = 7;
  EXPECT_EQ(DecodeUtf8Char(nullptr, 4, &length), 0u);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(DecodeUtf8Char("\xC3\xA9", 2, nullptr), 0xE9u);  // Length not asked for.
}

}  // namespace
