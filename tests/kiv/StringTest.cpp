#include "kiv/String.h"

#include <gtest/gtest.h>

TEST(KivString, PrintfFormatsTextsOfAnyLength) {
  EXPECT_EQ(Kiv::StringPrintf("%d-%s-%03u", -7, "x", 5u), "-7-x-005");
  std::string long_text(5000, 'q');
  Kiv::String out = Kiv::StringPrintf("<%s>%d", long_text.c_str(), 42);
  EXPECT_EQ(out, "<" + long_text + ">42");
  EXPECT_EQ(Kiv::StringPrintf("%s", ""), "");
}

TEST(KivString, CaseHelpersMapAsciiOnly) {
  EXPECT_EQ(Kiv::AsciiLower("AbC-\xC3\x84Z"), "abc-\xC3\x84z");
  EXPECT_EQ(Kiv::AsciiUpper("aBc-\xC3\xA4z"), "ABC-\xC3\xA4Z");
  EXPECT_TRUE(Kiv::EqualsIgnoreCase("Hello.TXT", "hello.txt"));
  EXPECT_FALSE(Kiv::EqualsIgnoreCase("hello", "hello!"));
  EXPECT_FALSE(Kiv::EqualsIgnoreCase("\xC3\x84", "\xC3\xA4"));
  EXPECT_FALSE(Kiv::EqualsIgnoreCase("[", "{"));  // Differ by 0x20 but are not letters.
}
