#include "foundation/text/TextRecoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Recodes `text` in a buffer of `size` bytes (at least the text and its NUL)
// and answers the buffer's text afterwards.
std::string Recode(const std::string& text, unsigned from, unsigned to, int64_t* result,
                   size_t size = 64) {
  std::vector<char> buffer(std::max(size, text.size() + 1), 'Z');
  std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
  *result = RecodeText(buffer.data(), size, from, to);
  return std::string(buffer.data());
}

TEST(TextRecoding, EveryCp1252ByteRoundTripsThroughUtf8) {
  for (int byte = 1; byte < 256; ++byte) {
    char buffer[8] = {char(byte), 0};
    ASSERT_EQ(CodePageToUtf8(sizeof buffer, buffer), 0) << byte;
    EXPECT_EQ(std::strlen(buffer) == 1, byte < 0x80) << byte;
    ASSERT_EQ(Utf8ToCodePage(buffer, sizeof buffer, 1252), 0) << byte;
    EXPECT_EQ(std::string(buffer), std::string(1, char(byte))) << byte;
  }
}

TEST(TextRecoding, Cp1252SpecialCharactersHaveTheirUnicodeForms) {
  int64_t r = 0;
  EXPECT_EQ(Recode("\x80 \x99 \xE9", CP_ACP, CP_UTF8, &r), "\xE2\x82\xAC \xE2\x84\xA2 \xC3\xA9");
  EXPECT_EQ(r, 0);
  EXPECT_EQ(Recode("\xC5\x92uvre", CP_UTF8, 1252, &r), "\x8Cuvre");
  EXPECT_EQ(r, 0);
}

TEST(TextRecoding, CharactersMissingFromCp1252BecomeQuestionMarks) {
  int64_t r = 0;
  EXPECT_EQ(Recode("a\xE4\xB8\xAD"
                   "b\xF0\x9F\x98\x80"
                   "c",
                   CP_UTF8, CP_ACP, &r),
            "a?b?c");
  EXPECT_EQ(r, 0);
}

TEST(TextRecoding, IllFormedUtf8BecomesReplacementCharacter) {
  int64_t r = 0;
  // A lone continuation byte, an overlong "/", a surrogate, and a truncated
  // sequence at the end of the text.
  EXPECT_EQ(Recode("a\x80"
                   "b\xC0\xAF"
                   "c\xED\xA0\x80"
                   "d\xE2\x82",
                   CP_UTF8, CP_UTF8, &r),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\xEF\xBF\xBD"
            "c\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
            "d\xEF\xBF\xBD");
  EXPECT_EQ(r, 0);
}

TEST(TextRecoding, TooSmallBufferAnswersNeededSizeAndKeepsText) {
  // "é" is one byte in cp1252 and two in UTF-8: "caf\xE9" needs 5 + 1 bytes.
  char buffer[6] = "caf\xE9";
  EXPECT_EQ(CodePageToUtf8(5, buffer), 6);
  EXPECT_STREQ(buffer, "caf\xE9");
  EXPECT_EQ(CodePageToUtf8(6, buffer), 0);
  EXPECT_STREQ(buffer, "caf\xC3\xA9");
  // Shrinking always fits.
  EXPECT_EQ(Utf8ToCodePage(buffer, 6, CP_ACP), 0);
  EXPECT_STREQ(buffer, "caf\xE9");
}

TEST(TextRecoding, TextWithoutNulUsesWholeBufferOnly) {
  // Four bytes, no NUL: the text is "abcd" and its NUL would not fit.
  char buffer[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(RecodeText(buffer, sizeof buffer, CP_ACP, CP_UTF8), 5);
  EXPECT_EQ(std::memcmp(buffer, "abcd", 4), 0);
  EXPECT_EQ(RecodeText(buffer, 0, CP_ACP, CP_UTF8), 1);
}

TEST(TextRecoding, UnsupportedCodePageReplacesHighBytes) {
  char buffer[16] = "a\xE9z\x80\x7F";
  buffer[8] = '\xFF';  // After the NUL: not part of the text, left alone.
  EXPECT_EQ(RecodeText(buffer, sizeof buffer, 932, CP_UTF8), -1);
  EXPECT_STREQ(buffer, "a?z?\x7F");
  EXPECT_EQ(buffer[8], '\xFF');
  std::strcpy(buffer, "\xC3\xA9");
  EXPECT_EQ(Utf8ToCodePage(buffer, sizeof buffer, 437), -1);
  EXPECT_STREQ(buffer, "??");
  EXPECT_EQ(RecodeText(nullptr, 10, CP_ACP, CP_UTF8), -1);
}

}  // namespace
