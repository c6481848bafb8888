#include "foundation/text/KUID.h"

#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

static void PrintTo(const KUID& k, std::ostream* os) {
  *os << "(" << k.userId << ", " << k.contentId << ", " << k.version << ")";
}

namespace {

constexpr KUID kNull = kNullKUID;

struct ParseCase {
  const char* text;
  KUID expected;
};

void ExpectParses(const std::vector<ParseCase>& cases, bool strict) {
  for (const ParseCase& c : cases) {
    EXPECT_EQ(ParseKUID(c.text, strict), c.expected) << "text \"" << c.text << "\"";
  }
}

TEST(KUID, NullAndValidityRuleBoundaries) {
  EXPECT_TRUE(KUID().IsNull());
  EXPECT_FALSE((KUID{-1, -2, 127}).IsNull());
  const struct {
    KUID kuid;
    bool valid;
  } cases[] = {
      {{0, 0, 0}, true},           {{33554431, 1, 127}, true},   {{123, 456, 128}, false},
      {{5, 5, -1}, false},         {{33554432, 1, 0}, false},    {{-1, 5, 127}, true},
      {{-33554432, 1, 127}, true}, {{-33554433, 1, 127}, false}, {{-1, 5, 126}, false},
      {{-3, 5, 0}, false},         {{INT32_MIN, 0, 127}, false}, {{INT32_MAX, 0, 0}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.kuid.IsValid(), c.valid) << testing::PrintToString(c.kuid);
  }
}

TEST(KUID, TextFormsPickShortOrLongForm) {
  const struct {
    KUID kuid;
    const char* tag;
    const char* pstring;
    const char* shortText;
    const char* keyword;
  } cases[] = {
      {kNull, "<NULL>", "<NULL>", "NULLKUID", "NULLKUID"},
      {{123, 456, 0}, "<kuid:123:456>", "<kuid:123:456>", "123:456", "kuid 123 456"},
      {{0, 100, 0}, "<kuid:0:100>", "<kuid:0:100>", "0:100", "kuid 0 100"},
      {{123, 456, 3}, "<kuid2:123:456:3>", "<kuid:123:456>", "123:456:3", "kuid2 123 456 3"},
      {{-3, 456, 127}, "<kuid:-3:456>", "<kuid:-3:456>", "-3:456", "kuid -3 456"},
      {{5, -6, 127}, "<kuid2:5:-6:127>", "<kuid:5:-6>", "5:-6:127", "kuid2 5 -6 127"},
      {{-1, -2, 127}, "<kuid:-1:-2>", "<kuid:-1:-2>", "-1:-2", "kuid -1 -2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.kuid));
    EXPECT_STREQ(KUIDToTagString(c.kuid).c_str(), c.tag);
    EXPECT_STREQ(KUIDToPString(c.kuid).c_str(), c.pstring);
    EXPECT_EQ(KUIDToShortString(c.kuid), c.shortText);
    EXPECT_EQ(KUIDToKeywordString(c.kuid), c.keyword);
  }
}

TEST(ParseKUID, TagForms) {
  ExpectParses(
      {
          {"<kuid:123:456>", {123, 456, 0}},
          {"<kuid:0:100>", {0, 100, 0}},
          {"<kuid2:123:456:7>", {123, 456, 7}},
          // Negative user ids are refused in the long form.
          {"<kuid2:-3:456:127>", kNull},
          // What a "%d:%d" scan leaves: unread fields keep the null values,
          // text after the last field read is ignored.
          {"<kuid:5>", {5, -1, 0}},
          {"<kuid2:5:6>", {5, 6, 127}},
          {"<kuid:1:2", {1, 2, 0}},
          {"<kuid:1x:2>", {1, -1, 0}},
          {"<kuid:>", kNull},
          // A number is an optional '-' and digits: no blanks, no '+'.
          {"<kuid: 1:2>", kNull},
      },
      false);
}

TEST(ParseKUID, BareWordAndNumberForms) {
  ExpectParses(
      {
          {"kuid:123:456", {123, 456, 0}},
          {"kuid2:-3:4:127", kNull},
          {"123:456", {123, 456, 0}},
          {"-3:456", {-3, 456, 127}},
          {"456", {-1, 456, 127}},
          {"5-", {-1, 5, 127}},
          {"1-2:3", {1, -1, 0}},
          {":5", kNull},
          {"1:2:3", kNull},
          {"<1:2", kNull},
          {" 1:2", kNull},
      },
      false);
}

TEST(ParseKUID, ValidityRuleAppliesToParsedResults) {
  ExpectParses(
      {
          {"<kuid2:1:2:128>", kNull},
          {"<kuid2:33554431:1:5>", {33554431, 1, 5}},
          {"33554432:1", kNull},
          {"-33554432:7", {-33554432, 7, 127}},
          {"<kuid:-33554433:7>", kNull},
      },
      false);
}

TEST(ParseKUID, NumbersBeyond32BitsGiveNull) {
  const std::string longDigits(1000, '9');
  const std::string longZeros = std::string(1000, '0') + "7:8";
  ExpectParses(
      {
          {"<kuid:99999999999:1>", kNull},
          {"99999999999", kNull},
          {"-2147483649", kNull},
          {"2147483647", {-1, INT32_MAX, 127}},
          {"-2147483648", {-1, INT32_MIN, 127}},
          {longDigits.c_str(), kNull},
          {longZeros.c_str(), {7, 8, 0}},
      },
      false);
  EXPECT_EQ(ParseKUID("<kuid:99999999999:1>", true), kNull);
}

TEST(ParseKUID, StrictAcceptsOnlyWellFormedKuidWords) {
  ExpectParses(
      {
          {"<kuid:123:456>", {123, 456, 0}},
          {"<KUID:-3:456>", {-3, 456, 127}},
          {"kuid:123:456", {123, 456, 0}},
          {"kuid2:1:2:3", {1, 2, 3}},
          {"kuid:1:2xyz", {1, 2, 0}},
          {"<kuid2:-3:456:127>", kNull},
          {"<kuid:123:456", kNull},
          {"<kuid:1:2>x", kNull},
          {"<kuid:1:-2>", kNull},
          {"<kuid:5>", kNull},
          {"<kuid2:1:2>", kNull},
          {"kuid:abc", kNull},
          {"123:456", kNull},
          {"", kNull},
          {"<NULL>", kNull},
      },
      true);
  EXPECT_EQ(ParseKUID(nullptr, true), kNull);
  EXPECT_EQ(ParseKUID(nullptr, false), kNull);
}

KUID RandomValidKUID(std::mt19937& rng) {
  std::uniform_int_distribution<int32_t> user(-33554432, 33554431);
  std::uniform_int_distribution<int32_t> content(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int32_t> version(0, 127);
  KUID k{user(rng), content(rng), 127};
  if (k.userId >= 0) k.version = version(rng);
  return k;
}

TEST(ParseKUID, TagStringRoundTripsForRandomValidKUIDs) {
  std::mt19937 rng(12345);
  for (int i = 0; i < 20000; ++i) {
    const KUID k = RandomValidKUID(rng);
    const Kiv::PString tag = KUIDToTagString(k);
    ASSERT_EQ(ParseKUID(tag.c_str(), false), k) << tag.c_str();
    // Strict parsing refuses a minus sign in front of the content id.
    if (k.contentId >= 0) {
      ASSERT_EQ(ParseKUID(tag.c_str(), true), k) << tag.c_str();
    }
  }
  EXPECT_EQ(ParseKUID(KUIDToTagString(kNull).c_str(), false), kNull);
}

std::vector<uint8_t> StreamBytes(const KUID& k) {
  TBuffer buffer;
  buffer << k;
  const Kiv::DynamicBuffer* data = buffer.GetData();
  return std::vector<uint8_t>(data->Data(), data->Data() + data->DataLength());
}

KUID ReadFrom(const std::vector<uint8_t>& bytes, uint32_t& error) {
  TBuffer buffer;
  TStreamWriteBytes(buffer, bytes.data(), uint32_t(bytes.size()));
  TStreamRewind(buffer);
  KUID k{1, 2, 3};
  buffer >> k;
  error = buffer.GetError();
  return k;
}

// The stream holds the content id, then the packed word; raw bytes hold the
// packed word first.
TEST(KUIDStream, StreamAndRawBytesLayout) {
  const struct {
    KUID kuid;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {{-3, 456, 127}, {0xC8, 0x01, 0x00, 0x00, 0xFD, 0xFF, 0xFF, 0xFF}},
      {{123, 456, 0}, {0xC8, 0x01, 0x00, 0x00, 0x7B, 0x00, 0x00, 0x00}},
      {{1, 2, 3}, {0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x06}},
      {kNull, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.kuid));
    EXPECT_EQ(StreamBytes(c.kuid), c.bytes);
    uint32_t error = 99;
    EXPECT_EQ(ReadFrom(c.bytes, error), c.kuid);
    EXPECT_EQ(error, TStream::kErrorNone);
    uint8_t raw[8];
    KUIDToRawBytes(c.kuid, raw);
    EXPECT_TRUE(std::equal(raw, raw + 4, c.bytes.begin() + 4));
    EXPECT_TRUE(std::equal(raw + 4, raw + 8, c.bytes.begin()));
    EXPECT_EQ(KUIDFromRawBytes(raw), c.kuid);
  }
}

TEST(KUIDStream, ShortReadGivesNullKUIDAndError4) {
  const std::vector<uint8_t> full = StreamBytes({123, 456, 0});
  for (size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    uint32_t error = 0;
    EXPECT_EQ(ReadFrom(std::vector<uint8_t>(full.begin(), full.begin() + long(n)), error), kNull);
    EXPECT_EQ(error, TStream::kErrorShortRead);
  }
}

TEST(KUIDStream, UserIdsBeyond25SignedBitsComeBackWrapped) {
  // The packed word keeps 25 bits of the user id, read back signed.
  const struct {
    KUID written;
    KUID read;
  } cases[] = {
      {{0x1000000, 5, 0}, {-0x1000000, 5, 0}},
      {{0x1FFFFFF, 5, 3}, {-1, 5, 3}},
      {{-0x1000001, 5, 127}, {0xFFFFFF, 5, 127}},
      {{-0x2000000, 5, 127}, {0, 5, 127}},
  };
  for (const auto& c : cases) {
    uint32_t error = 0;
    EXPECT_EQ(ReadFrom(StreamBytes(c.written), error), c.read);
    uint8_t raw[8];
    KUIDToRawBytes(c.written, raw);
    EXPECT_EQ(KUIDFromRawBytes(raw), c.read);
  }
}

}  // namespace
