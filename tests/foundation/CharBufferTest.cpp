#include "foundation/stream/CharBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(CharBuffer, GrowsInStepsOf4096AndKeepsItsText) {
  CharBuffer buffer;
  ASSERT_TRUE(buffer.Reserve(1));
  EXPECT_EQ(buffer.Capacity(), 4096u);
  EXPECT_EQ(buffer.Length(), 0u);

  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const char c = static_cast<char>('a' + i % 26);
    ASSERT_TRUE(buffer.Push(c));
    expected.push_back(c);
  }
  EXPECT_EQ(buffer.Capacity(), 8192u);
  EXPECT_EQ(std::string(buffer.Data(), buffer.Length()), expected);

  ASSERT_TRUE(buffer.Reserve(8193));
  EXPECT_EQ(buffer.Capacity(), 12288u);
  EXPECT_EQ(std::string(buffer.Data(), buffer.Length()), expected);
}

TEST(CharBuffer, ResizeShrinksAndGrowsWithZeros) {
  CharBuffer buffer;
  for (char c : std::string("abcdef")) ASSERT_TRUE(buffer.Push(c));
  ASSERT_TRUE(buffer.Resize(2));
  EXPECT_EQ(std::string(buffer.Data(), buffer.Length()), "ab");
  ASSERT_TRUE(buffer.Resize(5000));
  EXPECT_EQ(buffer.Length(), 5000u);
  EXPECT_EQ(buffer.Capacity(), 8192u);
  EXPECT_EQ(std::string(buffer.Data(), 4), std::string("ab\0\0", 4));
  EXPECT_EQ(buffer.Data()[4999], '\0');
}

TEST(CharBuffer, GrowthBeyond32BitsFailsAndKeepsTheBuffer) {
  CharBuffer buffer;
  ASSERT_TRUE(buffer.Push('x'));
  EXPECT_FALSE(buffer.Reserve(UINT32_MAX));
  EXPECT_FALSE(buffer.Resize(UINT32_MAX - 1));
  EXPECT_EQ(buffer.Capacity(), 4096u);
  EXPECT_EQ(buffer.Length(), 1u);
  EXPECT_EQ(buffer.Data()[0], 'x');
}

}  // namespace
