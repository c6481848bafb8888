#include "foundation/text/StringHelpers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EqualsNoCase, FoldsLettersAndControlCharacters) {
  EXPECT_TRUE(EqualsNoCase("txt", "TXT"));
  EXPECT_TRUE(EqualsNoCase("TxT", "tXt"));
  EXPECT_TRUE(EqualsNoCase("", ""));
  EXPECT_FALSE(EqualsNoCase("txt", "tx"));
  EXPECT_FALSE(EqualsNoCase("txt", "txu"));
  // Only letters fold: '[' and '{' sit 32 apart like 'A' and 'a'.
  EXPECT_FALSE(EqualsNoCase("[", "{"));
  // Any two control characters are equal, and equal to byte 255 ...
  EXPECT_TRUE(EqualsNoCase("a\x01", "A\x1f"));
  EXPECT_TRUE(EqualsNoCase("\t", "\xff"));
  // ... but not to the letters, whose folds lie in the same range.
  EXPECT_FALSE(EqualsNoCase("\x01", "a"));
  EXPECT_FALSE(EqualsNoCase(std::string("\0", 1), "\x01"));
}

TEST(StripDirectory, KeepsTextAfterLastSeparator) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"a\\b\\c.txt", "c.txt"}, {"a/b/c.gs", "c.gs"}, {"c:file.gs", "file.gs"},   {"a/b\\c:d", "d"},
      {"folder/", ""},          {"folder\\", ""},     {"plain.txt", "plain.txt"}, {"", ""},
  };
  for (const auto& c : cases) {
    Kiv::String path = c.in;
    StripDirectory(path);
    EXPECT_EQ(path, c.out) << c.in;
  }
}

TEST(UnquoteLiteral, ResolvesEveryEscape) {
  EXPECT_EQ(UnquoteLiteral(R"("\n\t\v\r\f\b\a")"), "\n\t\v\r\f\b\a");
  EXPECT_EQ(UnquoteLiteral(R"("\\ \' \"")"), "\\ ' \"");
  EXPECT_EQ(UnquoteLiteral(R"("\q\l")"), "ql");    // other escapes give the character
  EXPECT_EQ(UnquoteLiteral(R"("ab\0cd")"), "ab");  // an escaped NUL ends the text
  EXPECT_EQ(UnquoteLiteral(R"("ab\")"), "ab");     // a trailing backslash is dropped
  EXPECT_EQ(UnquoteLiteral(R"("plain text")"), "plain text");
  EXPECT_EQ(UnquoteLiteral(R"("")"), "");
}

TEST(UnquoteLiteral, HandlesPrefixCharactersAndBadTokens) {
  EXPECT_EQ(UnquoteLiteral(R"(L"wide")"), "wide");
  EXPECT_EQ(UnquoteLiteral("'x'"), "x");
  EXPECT_EQ(UnquoteLiteral(R"('\n')"), "\n");
  EXPECT_EQ(UnquoteLiteral(R"('\'')"), "'");
  EXPECT_EQ(UnquoteLiteral("L'y'"), "y");
  EXPECT_EQ(UnquoteLiteral(R"("unterminated)"), "unterminated");
  EXPECT_EQ(UnquoteLiteral("bare"), "");
  EXPECT_EQ(UnquoteLiteral("L"), "");
  EXPECT_EQ(UnquoteLiteral("\""), "");
  EXPECT_EQ(UnquoteLiteral(""), "");
  // Without escape processing the text between the quotes is kept as is.
  EXPECT_EQ(UnquoteLiteral(R"("dir\new.gs")", false), R"(dir\new.gs)");
}

TEST(UnquoteLiteral, KeepsLongLiteralWhole) {
  std::string body;
  for (int i = 0; i < 5000; ++i) body += static_cast<char>('a' + i % 26);
  EXPECT_EQ(UnquoteLiteral("\"" + body + "\""), body);
  EXPECT_EQ(UnquoteLiteral("\"" + body + "\\n\""), body + "\n");
}

}  // namespace
