#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "foundation/soup/ACSConvert.h"
#include "foundation/soup/ACSRawDataCore.h"
#include "foundation/text/KUID.h"

namespace {

// A text core holding exactly these bytes (no NUL added).
CoreRef Bytes(const std::string& bytes) {
  return ACSRawDataCore::CreateCopy(bytes.data(), uint32_t(bytes.size()));
}
CoreRef Text(const std::string& text) {
  return Bytes(text + '\0');
}

CoreRef Ints(const std::vector<int32_t>& values) {
  return ACSRawDataCore::CreateCopy(values.data(), uint32_t(values.size() * 4));
}
CoreRef Floats(const std::vector<float>& values) {
  return ACSRawDataCore::CreateCopy(values.data(), uint32_t(values.size() * 4));
}

std::vector<int32_t> IntsOf(const CoreRef& core) {
  std::vector<int32_t> v(core ? core->Size() / 4 : 0);
  if (!v.empty()) std::memcpy(v.data(), core->Data(), v.size() * 4);
  return v;
}
std::vector<float> FloatsOf(const CoreRef& core) {
  std::vector<float> v(core ? core->Size() / 4 : 0);
  if (!v.empty()) std::memcpy(v.data(), core->Data(), v.size() * 4);
  return v;
}
// The whole core as bytes, so a missing NUL shows.
std::string BytesOf(const CoreRef& core) {
  return core ? std::string(reinterpret_cast<const char*>(core->Data()), core->Size()) : "";
}

constexpr uint32_t kText = 4, kInt = 6, kFloat = 3, kKUID = 7;

}  // namespace

TEST(IsNumberText, FollowsTheNumberRule) {
  for (const char* yes : {"12", "-12", "1.5", ".5", "12.", "-3.5e+2", "1.0e-7", "7  ", "7\t", "."})
    EXPECT_TRUE(IsNumberText(yes)) << yes;
  for (const char* no : {"", "-", " 12", "12abc", "1e5", "1.e5", "1.5e+", "1.5E+2", "1.2.3", "1,2",
                         "--1", "1.5e+2e+1", "+1", "abc", "1.5e+2.1"})
    EXPECT_FALSE(IsNumberText(no)) << no;
}

TEST(ACSConvert, SameTypeSharesTheCoreAndNullGivesNothing) {
  CoreRef core = Ints({6});
  CoreRef same = ACSConvert(kInt, core, kInt);
  EXPECT_EQ(same.get(), core.get());
  EXPECT_FALSE(ACSConvert(0, core, kText));
  EXPECT_FALSE(ACSConvert(0, core, kInt));
  EXPECT_EQ(core->RefCount(), 2);                    // this handle and `same`
  EXPECT_FALSE(ACSConvert(2, Bytes("raw"), kText));  // no converter from raw bytes
}

TEST(ACSConverter_TextInt, ScansLikeDecimalIntegersAndRefusesWhatDoesNotScan) {
  EXPECT_EQ(IntsOf(ACSConvert(kText, Text("12"), kInt)), std::vector<int32_t>{12});
  EXPECT_EQ(IntsOf(ACSConvert(kText, Text("2.5"), kInt)), std::vector<int32_t>{2});
  EXPECT_EQ(IntsOf(ACSConvert(kText, Text("-3.5e+2"), kInt)), std::vector<int32_t>{-3});
  EXPECT_EQ(IntsOf(ACSConvert(kText, Text("-2147483648"), kInt)), std::vector<int32_t>{INT32_MIN});
  // Fails the number test.
  EXPECT_FALSE(ACSConvert(kText, Text("12abc"), kInt));
  EXPECT_FALSE(ACSConvert(kText, CoreRef(), kInt));
  // Passes the test but holds no integer, or one beyond 32 bits: no value
  // rather than an unset one.
  EXPECT_FALSE(ACSConvert(kText, Text("."), kInt));
  EXPECT_FALSE(ACSConvert(kText, Text(".5"), kInt));
  EXPECT_FALSE(ACSConvert(kText, Text("99999999999"), kInt));
  // A text without its NUL is read within its bytes.
  EXPECT_EQ(IntsOf(ACSConvert(kText, Bytes("34"), kInt)), std::vector<int32_t>{34});
  EXPECT_EQ(IntsOf(ACSConvert(kText,
                              Bytes(std::string("5\0"
                                                "99",
                                                4)),
                              kInt)),
            std::vector<int32_t>{5});
}

TEST(ACSConverter_TextFloat, ScansFloatsAndRefusesWhatDoesNotScan) {
  EXPECT_EQ(FloatsOf(ACSConvert(kText, Text("-3.5e+2"), kFloat)), std::vector<float>{-350.0f});
  EXPECT_EQ(FloatsOf(ACSConvert(kText, Text("1.5  "), kFloat)), std::vector<float>{1.5f});
  EXPECT_FALSE(ACSConvert(kText, Text("1e5"), kFloat));
  EXPECT_FALSE(ACSConvert(kText, Text("."), kFloat));
  EXPECT_FALSE(ACSConvert(kText, Text("-.e+1"), kFloat));
  EXPECT_EQ(FloatsOf(ACSConvert(kText, Bytes("0.25"), kFloat)), std::vector<float>{0.25f});
}

TEST(ACSConverter_IntText, WritesEveryIntegerWithATerminatingNul) {
  EXPECT_EQ(BytesOf(ACSConvert(kInt, Ints({1, 2, 3}), kText)), std::string("1,2,3\0", 6));
  EXPECT_EQ(BytesOf(ACSConvert(kInt, Ints({INT32_MIN, -1, 0}), kText)),
            std::string("-2147483648,-1,0\0", 17));
  // Trailing bytes short of a whole integer are ignored, and fewer than 4
  // bytes give nothing.
  EXPECT_EQ(BytesOf(ACSConvert(kInt, Bytes(std::string("\x07\0\0\0\x01\x02", 6)), kText)),
            std::string("7\0", 2));
  EXPECT_FALSE(ACSConvert(kInt, Bytes("ab"), kText));
  // Lists of any length keep every value.
  std::vector<int32_t> many(20000);
  std::string expected;
  for (size_t i = 0; i < many.size(); ++i) {
    many[i] = int32_t(i * 1000003 - 7000000);
    expected += (i ? "," : "") + std::to_string(many[i]);
  }
  EXPECT_EQ(BytesOf(ACSConvert(kInt, Ints(many), kText)), expected + '\0');
}

TEST(ACSConverter_FloatText, WritesEveryFloatWithATerminatingNul) {
  EXPECT_EQ(BytesOf(ACSConvert(kFloat, Floats({1, 2.5f, -3}), kText)),
            std::string("1,2.5,-3\0", 9));
  // No exponent: "1e+20" would read back as a string.
  EXPECT_EQ(BytesOf(ACSConvert(kFloat, Floats({1e20f}), kText)),
            std::string("100000000000000000000.0\0", 24));
  EXPECT_FALSE(ACSConvert(kFloat, Bytes("abc"), kText));
  std::vector<float> many(5000, -1234.5f);
  const CoreRef text = ACSConvert(kFloat, Floats(many), kText);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->Size(), many.size() * 8);  // "-1234.5," per value, the last with a NUL
  EXPECT_EQ(text->Data()[text->Size() - 1], 0);
}

TEST(ACSConverter_KUID, ConvertsBothWaysAndRefusesShortValues) {
  const CoreRef packed = ACSConvert(kText, Text("<kuid2:1:2:3>"), kKUID);
  EXPECT_EQ(IntsOf(packed), (std::vector<int32_t>{0x06000001, 2}));
  uint8_t raw[8];
  KUIDToRawBytes(KUID{123, 456, 0}, raw);
  EXPECT_EQ(BytesOf(ACSConvert(kKUID, ACSRawDataCore::CreateCopy(raw, 8), kText)),
            std::string("<kuid:123:456>\0", 15));
  KUIDToRawBytes(KUID{-3, 456, 127}, raw);
  EXPECT_EQ(BytesOf(ACSConvert(kKUID, ACSRawDataCore::CreateCopy(raw, 8), kText)),
            std::string("<kuid:-3:456>\0", 14));
  EXPECT_FALSE(ACSConvert(kKUID, ACSRawDataCore::CreateCopy(raw, 4), kText));
  EXPECT_EQ(IntsOf(ACSConvert(kText, Text("garbage"), kKUID)), (std::vector<int32_t>{-1, -1}));
}

TEST(ACSConvert, IntegersAndFloatsMeetThroughTextInTwoSteps) {
  EXPECT_EQ(FloatsOf(ACSConvert(kInt, Ints({7}), kFloat)), std::vector<float>{7.0f});
  EXPECT_EQ(IntsOf(ACSConvert(kFloat, Floats({2.5f}), kInt)), std::vector<int32_t>{2});
  // "1,2,3" fails the number test on the way.
  EXPECT_FALSE(ACSConvert(kInt, Ints({1, 2, 3}), kFloat));
  EXPECT_FALSE(ACSConvert(kFloat, Floats({1, 2}), kInt));
  EXPECT_FALSE(ACSConvert(kKUID, Ints({1, 2}), kInt));
}

namespace {

class FixedConverter : public ACSConverter {
 public:
  FixedConverter(uint32_t from, uint32_t to, int32_t value)
      : ACSConverter(from, to), value_(value) {}
  void Convert(CoreRef source, CoreRef& target) const override {
    source.Reset();
    target = ACSRawDataCore::CreateCopy(&value_, sizeof value_);
  }

 private:
  int32_t value_;
};

}  // namespace

TEST(ACSConverter, NewestConverterIsFoundFirstAndLeavesTheListWhenDestroyed) {
  EnsureSoupConverters();
  {
    FixedConverter mine(kInt, kText, 0x00003334);  // the text "43"
    EXPECT_EQ(ACSConverter::First(), &mine);
    EXPECT_EQ(BytesOf(ACSConvert(kInt, Ints({7}), kText)), std::string("43\0\0", 4));
  }
  EXPECT_EQ(BytesOf(ACSConvert(kInt, Ints({7}), kText)), std::string("7\0", 2));
  // A route through a type no built-in converter knows.
  FixedConverter toOdd(2, 100, 5);
  FixedConverter oddToInt(100, kInt, 9);
  EXPECT_EQ(IntsOf(ACSConvert(2, Bytes("x"), kInt)), std::vector<int32_t>{9});
}

namespace {

// What the built-in converters make, as text without the NUL.
std::string ConvertedText(uint32_t type, const void* data, uint32_t size) {
  const CoreRef text = ACSConvert(type, ACSRawDataCore::CreateCopy(data, size), kText);
  return std::string(ACSRawDataCore::TextView(text.get()));
}

}  // namespace

// The writers' in-place formatting must give the converters' bytes for
// every float (short and long, denormals, infinities), "%d" for integers,
// and both KUID forms. SoupFloatTextTest.cpp checks the float texts.
TEST(ACSConverter, InPlaceTextsEqualTheConvertersTexts) {
  EnsureSoupConverters();
  std::mt19937 rng(99);
  std::vector<float> floats = {0.0f,
                               -0.0f,
                               1.0f,
                               0.5f,
                               123456.0f,
                               1234567.0f,
                               1e-4f,
                               9.99999e-5f,
                               1e-5f,
                               3.4e38f,
                               1.17e-38f,
                               1e-45f,
                               999999.5f,
                               0.0001234565f,
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity()};
  for (int i = 0; i < 20000; ++i) {
    uint32_t bits = rng();
    float f;
    std::memcpy(&f, &bits, 4);
    if (!std::isnan(f)) floats.push_back(f);
  }
  for (size_t i = 0; i + 3 <= floats.size(); i += 3) {
    std::string got;
    ASSERT_TRUE(AppendValueText(kFloat, reinterpret_cast<const uint8_t*>(&floats[i]), 12, got));
    ASSERT_EQ(got, ConvertedText(kFloat, &floats[i], 12));
    ASSERT_EQ(std::count(got.begin(), got.end(), ','), 2) << got;
  }

  const int32_t ints[] = {0, -1, 2147483647, -2147483647 - 1, 42};
  std::string got;
  ASSERT_TRUE(AppendValueText(kInt, reinterpret_cast<const uint8_t*>(ints), sizeof ints, got));
  EXPECT_EQ(got, "0,-1,2147483647,-2147483648,42");

  const KUID kuids[] = {KUID{123, 456, 0}, KUID{123, 456, 7}, KUID{-5, 9, 127}, KUID{}};
  for (const KUID& kuid : kuids) {
    uint8_t raw[8];
    KUIDToRawBytes(kuid, raw);
    got.clear();
    ASSERT_TRUE(AppendValueText(kKUID, raw, 8, got));
    EXPECT_EQ(got, KUIDToTagString(kuid).Str());
    EXPECT_EQ(got, ConvertedText(kKUID, raw, 8));
  }
  got.clear();
  EXPECT_TRUE(AppendValueText(kKUID, nullptr, 0, got));  // too short: no text
  EXPECT_TRUE(got.empty());
  EXPECT_FALSE(AppendValueText(2, nullptr, 0, got));  // raw bytes have no text converter

  // Another converter first: the caller must convert.
  FixedConverter mine(kInt, kText, 0x00003334);
  EXPECT_FALSE(AppendValueText(kInt, reinterpret_cast<const uint8_t*>(ints), 4, got));
  EXPECT_TRUE(got.empty());
}
