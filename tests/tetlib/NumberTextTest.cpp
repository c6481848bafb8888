#include <gtest/gtest.h>

#include <clocale>
#include <vector>

#include "tetlib/NumberText.h"

namespace {

using TETLib::ParseFloatList;

TEST(NumberText, FloatListsSplitAtEveryBlankAndComma) {
  struct Case {
    const char* text;
    std::vector<float> values;
  };
  const Case cases[] = {
      {"1,2,3", {1, 2, 3}}, {"1 2", {1, 2}}, {"1, 2", {1, 0, 2}},       {"", {0}},
      {"abc", {0}},         {"1 ", {1, 0}},  {"-1.5,2e1", {-1.5f, 20}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFloatList(c.text), c.values) << '"' << c.text << '"';
}

TEST(NumberText, ConvertsAsTheCLibraryDoesInAnyLocale) {
  // A locale with a decimal comma must not change how "1.5" reads.
  const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  EXPECT_EQ(TETLib::TextToFloat(" 1.5xyz"), 1.5f);
  EXPECT_EQ(TETLib::TextToFloat("+2"), 2.0f);
  EXPECT_EQ(TETLib::TextToFloat("x"), 0.0f);
  if (german) std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(TETLib::TextToInt("12abc"), 12);
  EXPECT_EQ(TETLib::TextToInt("abc"), 0);
  EXPECT_EQ(TETLib::TextToInt(" -7"), -7);
  EXPECT_EQ(TETLib::TextToInt("99999999999"), 2147483647);
  EXPECT_EQ(TETLib::TextToInt("-99999999999"), -2147483647 - 1);
}

}  // namespace
