// The text of floats in soups: what the text form and the float-to-text
// converter write must read back as the same 32 bits, and a value whose
// "%g" text already does keeps that text.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/soup/ACSConvert.h"
#include "foundation/soup/ACSRawDataCore.h"
#include "foundation/soup/Soup.h"
#include "tests/support/TextSoupText.h"

namespace {

constexpr uint32_t kText = 4, kInt = 6, kFloat = 3;

uint32_t Bits(float value) {
  return std::bit_cast<uint32_t>(value);
}

using VUTest::ParsedTextSoup;
using VUTest::WrittenTextSoup;

// The text the soup writer gives these floats (one tag).
std::string FloatsText(const std::vector<float>& values) {
  std::string out;
  EXPECT_TRUE(AppendValueText(kFloat, reinterpret_cast<const uint8_t*>(values.data()),
                              uint32_t(values.size() * 4), out));
  return out;
}

// How the text reader takes `text` as the whole value of a tag: true with
// its number when it reads as a number (an integer counts by its value),
// false when it reads as anything else.
bool ReadAlone(const std::string& text, float& value) {
  const Soup soup = ParsedTextSoup("v " + text + "\r\n");
  const Kiv::PString name("v");
  const uint32_t type = soup.GetNamedTagType(name);
  if (type == kInt) {
    value = float(soup.GetNamedTagAsInt(name, 0));
    return true;
  }
  if (type != kFloat) return false;
  std::vector<float> read;
  if (!soup.GetNamedTagAsFloatArray(name, read) || read.size() != 1) return false;
  value = read[0];
  return true;
}

// Finite floats of every sort: powers of ten from 1e-7 to 1e9 and their
// neighbours, values of seven significant digits across the same range,
// the ends of the float range, zeros, and random bit patterns.
std::vector<float> ManyFloats() {
  std::vector<float> values = {0.0f,
                               -0.0f,
                               2.5f,
                               240.0f,
                               12.345678f,
                               1234567.5f,
                               0.1f,
                               16777217.0f,
                               std::numeric_limits<float>::max(),
                               std::numeric_limits<float>::lowest(),
                               std::numeric_limits<float>::min(),
                               std::numeric_limits<float>::denorm_min(),
                               -std::numeric_limits<float>::denorm_min()};
  for (int power = -7; power <= 9; ++power) {
    const float ten = std::strtof(("1e" + std::to_string(power)).c_str(), nullptr);
    for (float value : {ten, std::nextafter(ten, 0.0f), std::nextafter(ten, 1e30f)}) {
      values.push_back(value);
      values.push_back(-value);
    }
  }
  std::mt19937 rng(60);
  for (int i = 0; i < 4000; ++i) {
    const std::string text =
        std::to_string(1000000 + rng() % 9000000) + "e" + std::to_string(int(rng() % 17) - 13);
    values.push_back(std::strtof(text.c_str(), nullptr) * (rng() % 2 ? 1.0f : -1.0f));
  }
  for (int i = 0; i < 4000; ++i) {
    const float value = std::bit_cast<float>(uint32_t(rng()));
    if (std::isfinite(value)) values.push_back(value);
  }
  return values;
}

// Every finite float reads back to its own bits: alone and in a list
// through the text form, and through the text converters that the typed
// getters use, and its text never holds an exponent.
TEST(SoupFloatText, EveryFloatReadsBackAsItsOwnBits) {
  const std::vector<float> values = ManyFloats();
  Soup written;
  for (size_t i = 0; i < values.size(); ++i) {
    const float value = values[i];
    const std::string text = FloatsText({value});
    ASSERT_EQ(text.find_first_of("eE"), std::string::npos) << text;
    float alone = 0;
    ASSERT_TRUE(ReadAlone(text, alone)) << text;
    ASSERT_EQ(Bits(alone), Bits(value)) << text;

    const CoreRef back =
        ACSConvert(kText, ACSConvert(kFloat, ACSRawDataCore::CreateCopy(&value, 4), kText), kFloat);
    ASSERT_TRUE(back && back->Size() == 4) << text;
    ASSERT_EQ(Bits(*reinterpret_cast<const float*>(back->Data())), Bits(value)) << text;
    written.SetNamedFloat(Kiv::PString("f" + std::to_string(i)), value);
  }
  written.SetNamedFloatArray(Kiv::PString("all"), values);

  const Soup read = ParsedTextSoup(WrittenTextSoup(written));
  std::vector<float> list;
  ASSERT_TRUE(read.GetNamedTagAsFloatArray(Kiv::PString("all"), list));
  ASSERT_EQ(list.size(), values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    ASSERT_EQ(Bits(list[i]), Bits(values[i])) << FloatsText({values[i]});
    const Kiv::PString name("f" + std::to_string(i));
    ASSERT_EQ(Bits(read.GetNamedTagAsFloat(name, 1.0f)), Bits(values[i]))
        << FloatsText({values[i]});
  }
}

// Values whose "%g" text the reader takes back unchanged keep exactly that
// text; the rest (exponents, too few digits, a signed zero read alone as an
// integer) get a text with a "." that reads as a float.
TEST(SoupFloatText, KeepsTheGTextOfEveryValueItReadsBackAs) {
  EXPECT_EQ(FloatsText({2.5f}), "2.5");
  EXPECT_EQ(FloatsText({240.0f}), "240");
  EXPECT_EQ(FloatsText({1.0f, 2.0f, 3.0f}), "1,2,3");
  EXPECT_EQ(FloatsText({0.00001f}), "0.00001");
  EXPECT_EQ(FloatsText({12.345678f}), "12.345678");
  EXPECT_EQ(FloatsText({1234567.5f, -1234567.0f}), "1234567.5,-1234567.0");
  EXPECT_EQ(FloatsText({1e9f, 1.5e-7f}), "1000000000.0,0.00000015");
  // Alone, "-0" would read back as the integer 0; in a list it is -0.
  EXPECT_EQ(FloatsText({-0.0f}), "-0.0");
  EXPECT_EQ(FloatsText({-0.0f, 1.0f}), "-0,1");

  size_t kept = 0;
  for (const float value : ManyFloats()) {
    char general[64];
    std::snprintf(general, sizeof general, "%g", double(value));
    float back = 0;
    if (!ReadAlone(general, back) || Bits(back) != Bits(value)) continue;
    ASSERT_EQ(FloatsText({value}), general);
    ASSERT_EQ(FloatsText({value, value}), std::string(general) + "," + general);
    ++kept;
  }
  EXPECT_GT(kept, 20u);  // the set holds values of both sorts
}

// Infinities and NaN have no number text; they keep their "%g" text.
TEST(SoupFloatText, NonFiniteValuesKeepTheirGText) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(FloatsText({inf, -inf, 1.0f}), "inf,-inf,1");
  const std::string nan = FloatsText({std::numeric_limits<float>::quiet_NaN()});
  EXPECT_NE(nan.find("nan"), std::string::npos) << nan;
}

}  // namespace
