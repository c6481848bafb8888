#include <gtest/gtest.h>

#include <string>

#include "LZSSTestSupport.h"
#include "foundation/lzss/LZSSCompress.h"
#include "foundation/lzss/LZSSEncoder.h"

namespace {

using lzss_test::Bytes;
using lzss_test::Decode;
using lzss_test::ToBytes;

Bytes Encode(const Bytes& in, uint32_t level) {
  return LZSSEncodeToVector(in.data(), in.size(), level);
}

// The items of a Huffman stream: "L" for a literal, "M<length>@<distance>".
std::vector<std::string> HuffmanItems(const Bytes& stream) {
  const uint32_t variant = stream[0] >> 4 & 3;
  const LZSS::Variant& v = LZSS::kVariantTable[variant];
  LZSSHuffmanTree literals;
  LZSSHuffmanTree distances;
  literals.Init(LZSS::kLiteralSymbols);
  distances.Init(v.distanceSymbols);
  size_t bit = 8;
  auto take = [&](uint32_t n) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < n; ++i, ++bit)
      value |= uint32_t(stream[bit / 8] >> (bit % 8) & 1) << i;
    return value;
  };
  auto symbol = [&](LZSSHuffmanTree& t) {
    uint32_t x = t.Son(t.Root());
    while (!(x & LZSSHuffmanTree::kLeafFlag)) x = t.Son(x + take(1));
    t.Update(x & 0x7FFF);
    return x & 0x7FFF;
  };
  std::vector<std::string> items;
  for (uint32_t s = symbol(literals); s != LZSS::kEndSymbol; s = symbol(literals)) {
    if (s < 256) {
      items.push_back("L");
      continue;
    }
    const uint32_t code = s - 256;
    const uint32_t length = 3 + LZSS::kLengthBase[code] + take(LZSS::kLengthExtraBits[code]);
    const uint32_t high = symbol(distances);
    const uint32_t distance = (high << v.lowBits) + take(v.lowBits);
    items.push_back("M" + std::to_string(length) + "@" + std::to_string(distance));
  }
  return items;
}

TEST(LZSSEncoder, LevelOneCodesAbcabcabcInNineBytes) {
  const Bytes stream = Encode(ToBytes("abcabcabc"), 1);
  EXPECT_EQ(stream, (Bytes{0x01, 0x38, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x03}));
  EXPECT_EQ(Decode(stream), ToBytes("abcabcabc"));
}

TEST(LZSSEncoder, SmallInputsAndLevelZeroAreStored) {
  EXPECT_EQ(Encode(ToBytes("aaaaaa"), 9), ToBytes(std::string("\0aaaaaa", 7)));
  EXPECT_EQ(Encode(ToBytes("aaaaaaa"), 0), ToBytes(std::string("\0aaaaaaa", 8)));
  EXPECT_EQ(Encode({}, 5), Bytes{0x00});
  EXPECT_EQ(Decode(Encode({}, 5)), Bytes());
}

TEST(LZSSEncoder, LevelsAboveNineCodeAsNine) {
  const Bytes text = lzss_test::TextSoup(5000, 1);
  EXPECT_EQ(Encode(text, 12), Encode(text, 9));
  EXPECT_EQ(Encode(text, uint32_t(-1)), Encode(text, 9));
}

TEST(LZSSEncoder, RunsGiveMaximalMatchesAtDistanceOneAndShortRestsAreParsedAgain) {
  const Bytes run(1000, 'z');
  const Bytes stream = Encode(run, 9);
  const std::vector<std::string> want = {"L", "M258@1", "M258@1", "M258@1", "M225@1"};
  EXPECT_EQ(HuffmanItems(stream), want);
  EXPECT_EQ(Decode(stream), run);
  // A match rest of one byte (518 = 1 + 258 + 258 + 1) is parsed again as a literal.
  const Bytes rest(518, 'z');
  EXPECT_EQ(HuffmanItems(Encode(rest, 9)),
            (std::vector<std::string>{"L", "M258@1", "M258@1", "L"}));
  EXPECT_EQ(Decode(Encode(rest, 9)), rest);
}

TEST(LZSSEncoder, IncompressibleInputComesOutStored) {
  const Bytes noise = lzss_test::RandomBytes(20000, 3);
  for (uint32_t level : {1u, 5u, 9u}) {
    const Bytes stream = Encode(noise, level);
    ASSERT_EQ(stream.size(), noise.size() + 1);
    EXPECT_EQ(stream[0], 0);
    EXPECT_TRUE(std::equal(noise.begin(), noise.end(), stream.begin() + 1));
  }
  Bytes small(noise.size());
  EXPECT_EQ(LZSSEncode(noise.data(), noise.size(), 9, small.data(), small.size()), 0u);
  EXPECT_EQ(LZSSEncode(noise.data(), noise.size(), 9, small.data(), 0), 0u);
}

TEST(LZSSEncoder, CodedFormLargerThanInputStillDecodesWhenRoomAllows) {
  // Long literal stretches must be cut into runs of at most 258 bytes.
  const Bytes noise = lzss_test::RandomBytes(70000, 4);
  Bytes out(noise.size() * 2);
  for (uint32_t level = 1; level <= 9; ++level) {
    const size_t n = LZSSEncode(noise.data(), noise.size(), level, out.data(), out.size());
    ASSERT_GT(n, noise.size() + 1) << level;
    EXPECT_EQ(Decode(Bytes(out.begin(), out.begin() + n), noise.size()), noise) << level;
  }
}

TEST(LZSSEncoder, ExactCapacityIsEnoughAndOneLessFallsBack) {
  const Bytes text = lzss_test::TextSoup(9000, 5);
  for (uint32_t level : {2u, 6u, 8u}) {
    const Bytes coded = Encode(text, level);
    Bytes out(coded.size());
    ASSERT_EQ(LZSSEncode(text.data(), text.size(), level, out.data(), out.size()), coded.size());
    EXPECT_EQ(out, coded);
    EXPECT_EQ(LZSSEncode(text.data(), text.size(), level, out.data(), out.size() - 1), 0u);
  }
}

// Every level over inputs of many kinds, with sizes around the window sizes,
// the span of two windows and a maximal match, the flag-word block, the
// maximum match and literal run, and the small-input limits.
TEST(LZSSEncoder, RoundTripsAtEveryLevel) {
  const std::vector<size_t> sizes = {0,     1,     6,     7,     8,     255,   256,   257,   258,
                                     259,   260,   517,   1999,  2000,  4095,  4096,  4097,  4144,
                                     4145,  8449,  8450,  8451,  16383, 16384, 16385, 23999, 24000,
                                     32767, 32768, 33025, 33026, 33027, 49152, 65536, 100000};
  std::vector<Bytes> kinds;
  const size_t most = 100000;
  kinds.push_back(lzss_test::TextSoup(most, 11));
  kinds.push_back(lzss_test::RandomBytes(most, 12, 3));
  kinds.push_back(lzss_test::Pattern(most, "abcdefgh"));
  Bytes mixed = lzss_test::RandomBytes(most, 13);
  for (size_t i = 0; i < most; i += 7000)
    std::fill_n(mixed.begin() + i, std::min<size_t>(3000, most - i), 'x');
  kinds.push_back(mixed);
  for (const Bytes& kind : kinds) {
    for (size_t n : sizes) {
      const Bytes in(kind.begin(), kind.begin() + n);
      for (uint32_t level = 0; level <= 9; ++level) {
        const Bytes stream = Encode(in, level);
        ASSERT_FALSE(stream.empty());
        ASSERT_LE(stream.size(), n + 1);
        ASSERT_EQ(Decode(stream, n), in) << "size " << n << " level " << level;
      }
    }
  }
}

TEST(LZSSEncoder, ManyHuffmanSymbolsRoundTripThroughTreeRebuilds) {
  // Skewed bytes with few matches: well over 32768 symbols per tree.
  std::mt19937 rng(21);
  std::geometric_distribution<int> pick(0.08);
  Bytes in(300000);
  for (auto& b : in) b = static_cast<uint8_t>(pick(rng));
  for (uint32_t level : {7u, 9u}) {
    const Bytes stream = Encode(in, level);
    ASSERT_NE(stream[0], 0);
    EXPECT_EQ(Decode(stream, in.size()), in);
  }
}

// A match search without a bound is quadratic on these inputs: a megabyte
// would then take hours and the test's time-out ends it. The speed itself is
// measured by the LZSS benchmark, not here.
TEST(LZSSEncoder, LongRunsAndShortPatternsRoundTrip) {
  const size_t n = 1 << 20;
  const std::vector<Bytes> inputs = {Bytes(n, 'a'), lzss_test::Pattern(n, "ab"),
                                     lzss_test::Pattern(n, "abcdefg")};
  for (const Bytes& in : inputs) EXPECT_EQ(Decode(Encode(in, 9), n), in);
}

TEST(LZSSCompress, BlockHookCodesAndDecodes) {
  Kiv::LZSSCompress::Register();
  Kiv::Ref<Kiv::Compress> codec = Kiv::Compress::Create();
  ASSERT_TRUE(codec);
  const Bytes text = lzss_test::TextSoup(3000, 2);
  Bytes coded(text.size() + 1);
  const size_t n = codec->CompressBlock(coded.data(), coded.size(), text.data(), text.size(), 9);
  ASSERT_GT(n, 0u);
  EXPECT_LT(n, text.size());
  Bytes back(text.size());
  EXPECT_EQ(codec->DecompressBlock(back.data(), back.size(), coded.data(), n),
            int64_t(text.size()));
  EXPECT_EQ(back, text);
  EXPECT_EQ(codec->DecompressBlock(back.data(), back.size(), coded.data(), 0),
            Kiv::Compress::kFailed);
  auto* lzss = static_cast<Kiv::LZSSCompress*>(codec.get());
  codec->CompressBlock(coded.data(), coded.size(), text.data(), text.size(), 12);
  EXPECT_EQ(lzss->Level(), 9u);
}

}  // namespace
