#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/soup/SoupFieldConverter.h"

namespace {

// A caller's structure; each converter is bound to one of its fields.
struct Record {
  uint32_t code = 0;
  int32_t count = 0;
  uint32_t size = 0;
  double scale = 0;
  bool visible = false;
  uint32_t flags = 0;
};

struct ToTextCase {
  const char* what;
  Record record;
  uint32_t mask;  // for the bit converter
  const char* fourCC;
  const char* integer;
  const char* unsignedInteger;
  const char* real;
  const char* boolean;
  const char* bit;
};

std::string Text(const SoupFieldConverter& converter) {
  const std::string text = converter.ToText();
  // Readers take the text as C text: it ends at its NUL.
  EXPECT_EQ(std::strlen(text.c_str()), text.size());
  return text;
}

TEST(SoupFieldConverter, WritesEachFieldAsText) {
  const ToTextCase cases[] = {
      {"zero", {}, 1, "", "0", "0", "0", "false", "false"},
      {"ordinary", {0x56414E44, 42, 7, 2.5, true, 0x5}, 0x4, "VAND", "42", "7", "2.5", "true",
       "true"},
      {"extremes", {0x41422043, INT32_MIN, UINT32_MAX, -1e-7, false, 0xF0}, 0x0F, "AB C",
       "-2147483648", "4294967295", "-1e-07", "false", "false"},
      {"short code", {0x41420000, -1, 0x80000000u, 1234567.0, true, 0x30}, 0x11, "AB", "-1",
       "2147483648", "1.23457e+06", "true", "true"},
  };
  for (const ToTextCase& c : cases) {
    Record record = c.record;
    EXPECT_EQ(Text(SoupFieldConverter_FourCC(&record.code)), c.fourCC) << c.what;
    EXPECT_EQ(Text(SoupFieldConverter_Int(&record.count)), c.integer) << c.what;
    EXPECT_EQ(Text(SoupFieldConverter_UInt(&record.size)), c.unsignedInteger) << c.what;
    EXPECT_EQ(Text(SoupFieldConverter_Double(&record.scale)), c.real) << c.what;
    EXPECT_EQ(Text(SoupFieldConverter_Bool(&record.visible)), c.boolean) << c.what;
    EXPECT_EQ(Text(SoupFieldConverter_Bit(&record.flags, c.mask)), c.bit) << c.what;
  }
}

TEST(SoupFieldConverter, FourCharacterCodesPadWithBlanksAndKeepTheFirstFour) {
  const struct {
    const char* text;
    uint32_t code;
  } cases[] = {
      {"VAND", 0x56414E44}, {"AB", 0x41422020},   {"", 0x20202020},
      {nullptr, 0x20202020}, {"ABCDEF", 0x41424344}, {"\xFF\x80xy", 0xFF807879},
  };
  for (const auto& c : cases) {
    uint32_t field = 1;
    SoupFieldConverter_FourCC(&field).FromText(c.text);
    EXPECT_EQ(field, c.code) << (c.text ? c.text : "(null)");
  }
}

TEST(SoupFieldConverter, IntegersReadAsDecimalHeldToTheirRange) {
  const struct {
    const char* text;
    int32_t signedValue;
    uint32_t unsignedValue;
  } cases[] = {
      {"12", 12, 12},
      {"  -7", -7, 0xFFFFFFF9u},
      {"+5", 5, 5},
      {"12abc", 12, 12},
      {"2.9", 2, 2},
      {"0x10", 0, 0},  // base 10 only
      {"010", 10, 10},
      {"abc", 0, 0},
      {"", 0, 0},
      {nullptr, 0, 0},
      {"2147483647", INT32_MAX, 2147483647u},
      {"2147483648", INT32_MAX, 2147483648u},
      {"4294967295", INT32_MAX, UINT32_MAX},
      {"-1", -1, UINT32_MAX},
      {"-2147483648", INT32_MIN, 0x80000000u},
      {"99999999999", INT32_MAX, UINT32_MAX},
      {"-99999999999", INT32_MIN, 0x80000000u},
  };
  for (const auto& c : cases) {
    const char* shown = c.text ? c.text : "(null)";
    int32_t signedField = 77;
    SoupFieldConverter_Int(&signedField).FromText(c.text);
    EXPECT_EQ(signedField, c.signedValue) << shown;
    uint32_t unsignedField = 77;
    SoupFieldConverter_UInt(&unsignedField).FromText(c.text);
    EXPECT_EQ(unsignedField, c.unsignedValue) << shown;
  }
}

TEST(SoupFieldConverter, DoublesReadLikeAtof) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"2.5", 2.5}, {"-1e-07", -1e-7}, {" 3x", 3.0}, {"x3", 0.0}, {"", 0.0}, {nullptr, 0.0},
  };
  for (const auto& c : cases) {
    double field = 9;
    SoupFieldConverter_Double(&field).FromText(c.text);
    EXPECT_DOUBLE_EQ(field, c.value) << (c.text ? c.text : "(null)");
  }
}

TEST(SoupFieldConverter, TrueTextsSetBoolsAndMaskBitsAndOthersClearThem) {
  const struct {
    const char* text;
    bool value;
  } cases[] = {
      {"true", true},  {"TRUE", true},   {"True", true},  {"1", true},     {"t", true},
      {"T", true},     {"false", false}, {"0", false},    {"yes", false},  {"2", false},
      {"", false},     {nullptr, false}, {" true", false}, {"truex", false}, {"tr", false},
  };
  for (const auto& c : cases) {
    const char* shown = c.text ? c.text : "(null)";
    for (const bool before : {false, true}) {
      bool field = before;
      SoupFieldConverter_Bool(&field).FromText(c.text);
      EXPECT_EQ(field, c.value) << shown;
    }
    // Only the mask's bits change, whatever they were.
    for (const uint32_t before : {0x00000000u, 0xFFFFFFFFu, 0x00F000A5u}) {
      uint32_t word = before;
      SoupFieldConverter_Bit(&word, 0x0F0).FromText(c.text);
      EXPECT_EQ(word, c.value ? (before | 0x0F0u) : (before & ~0x0F0u)) << shown;
    }
  }
}

TEST(SoupFieldConverter, TextsReadBackToTheSameField) {
  Record record{0x6D657368, -123456, 3000000000u, 0.125, true, 0x8};
  Record copy;
  SoupFieldConverter_FourCC(&copy.code).FromText(SoupFieldConverter_FourCC(&record.code).ToText().c_str());
  SoupFieldConverter_Int(&copy.count).FromText(SoupFieldConverter_Int(&record.count).ToText().c_str());
  SoupFieldConverter_UInt(&copy.size).FromText(SoupFieldConverter_UInt(&record.size).ToText().c_str());
  SoupFieldConverter_Double(&copy.scale)
      .FromText(SoupFieldConverter_Double(&record.scale).ToText().c_str());
  SoupFieldConverter_Bool(&copy.visible)
      .FromText(SoupFieldConverter_Bool(&record.visible).ToText().c_str());
  SoupFieldConverter_Bit(&copy.flags, 0x8)
      .FromText(SoupFieldConverter_Bit(&record.flags, 0x8).ToText().c_str());
  EXPECT_EQ(copy.code, record.code);
  EXPECT_EQ(copy.count, record.count);
  EXPECT_EQ(copy.size, record.size);
  EXPECT_EQ(copy.scale, record.scale);
  EXPECT_EQ(copy.visible, record.visible);
  EXPECT_EQ(copy.flags, record.flags);
}

}  // namespace
