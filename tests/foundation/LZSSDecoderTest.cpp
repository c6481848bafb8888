#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "LZSSTestSupport.h"
#include "foundation/lzss/LZSSEncoder.h"
#include "foundation/lzss/LZSSHuffman.h"

namespace {

using lzss_test::Bytes;
using lzss_test::Decode;
using lzss_test::HuffmanWriter;
using lzss_test::ToBytes;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes U32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes Repeat(char c, size_t n) {
  return Bytes(n, static_cast<uint8_t>(c));
}

// Checks the tree's structure: weights in order, each internal weight the
// sum of its children, and the parent, son and leaf links agreeing.
::testing::AssertionResult WellFormed(const LZSSHuffmanTree& t) {
  const uint32_t root = t.Root();
  uint32_t leaves = 0;
  for (uint32_t p = 0; p <= root; ++p) {
    if (p > 0 && t.Freq(p - 1) > t.Freq(p))
      return ::testing::AssertionFailure() << "order at " << p;
    if (p < root) {
      const int32_t up = t.Parent(p);
      if (up <= int32_t(p) || up > int32_t(root) || t.Son(uint32_t(up)) != (p & ~1u))
        return ::testing::AssertionFailure() << "parent of " << p;
    }
    const uint32_t son = t.Son(p);
    if (son & LZSSHuffmanTree::kLeafFlag) {
      ++leaves;
      if (t.LeafOf(son & 0x7FFF) != p) return ::testing::AssertionFailure() << "leaf at " << p;
      continue;
    }
    if (son % 2 != 0 || son + 1 >= p || t.Freq(p) != t.Freq(son) + t.Freq(son + 1))
      return ::testing::AssertionFailure() << "node at " << p;
  }
  if (t.Parent(root) != -1 || leaves != t.Leaves()) return ::testing::AssertionFailure() << "root";
  return ::testing::AssertionSuccess();
}

// Symbols for a tree of `symbols` leaves, geometrically skewed by `skew`,
// whose favourites drift by one every `drift` draws.
class SkewedSymbols {
 public:
  SkewedSymbols(uint32_t symbols, uint32_t skew, uint32_t seed, uint32_t drift)
      : symbols_(symbols), drift_(drift), rng_(seed), pick_(1.0 / (1.0 + symbols / double(skew))) {}
  uint32_t Next() { return (pick_(rng_) + drawn_++ / drift_) % symbols_; }

 private:
  uint32_t symbols_;
  uint32_t drift_;
  uint32_t drawn_ = 0;
  std::mt19937 rng_;
  std::geometric_distribution<uint32_t> pick_;
};

// The same weights, sons and parents at every position.
::testing::AssertionResult SameTree(const LZSSHuffmanTree& a, const LZSSHuffmanTree& b) {
  for (uint32_t p = 0; p <= a.Root(); ++p) {
    if (a.Freq(p) != b.Freq(p) || a.Son(p) != b.Son(p) || a.Parent(p) != b.Parent(p))
      return ::testing::AssertionFailure() << "position " << p;
  }
  return ::testing::AssertionSuccess();
}

TEST(LZSSDecoder, StoredStreamGivesItsBytesAndMayBeEmpty) {
  EXPECT_EQ(Decode({0x00, 'A', 'B', 'C'}), ToBytes("ABC"));
  EXPECT_EQ(Decode({0x00}, 0), Bytes());
  EXPECT_EQ(Decode({0xC0, 'A'}), ToBytes("A"));  // reserved bits are ignored
  EXPECT_EQ(Decode({}), std::nullopt);
  EXPECT_EQ(Decode({0x00, 'A', 'B', 'C'}, 2), std::nullopt);
}

TEST(LZSSDecoder, UndefinedVariantIsRefused) {
  EXPECT_EQ(Decode({0x30}), std::nullopt);
  EXPECT_EQ(Decode(Concat({{0x31}, U32(0), {'A'}})), std::nullopt);
  EXPECT_EQ(Decode(Concat({{0x39}, U32(0), {'A'}})), std::nullopt);
}

TEST(LZSSDecoder, SmallWindowMatchesUseThreeFlagBitsAndALengthByte) {
  // Literal, then a match whose flag bits 1, 1, 0 give length 6.
  EXPECT_EQ(Decode({0x01, 0x38, 0, 0, 0, 'a', 'b', 'c', 0x03}), ToBytes("abcabcabc"));
  // Code 7 takes its length from the next byte: 0 gives 3, 252 gives 255.
  EXPECT_EQ(Decode(Concat({{0x01}, U32(0x1E), {'a', 0, 1}})), Repeat('a', 4));
  EXPECT_EQ(Decode(Concat({{0x01}, U32(0x1E), {'a', 252, 1}})), Repeat('a', 256));
  // Methods 7 and above read the flag-word coding in this window too.
  EXPECT_EQ(Decode({0x09, 0x38, 0, 0, 0, 'a', 'b', 'c', 0x03}), ToBytes("abcabcabc"));
}

TEST(LZSSDecoder, LargeWindowMatchesAndLiteralRuns) {
  // Variant 1: literal (two clear bits), then a match word of length code 7
  // at distance 1: eleven bytes.
  EXPECT_EQ(Decode(Concat({{0x11}, U32(0x4), {'a', 0x01, 0x70}})), Repeat('a', 11));
  // Variant 2 has a 2-bit length field; 3 means a length byte follows.
  EXPECT_EQ(Decode(Concat({{0x24}, U32(0x4), {'a', 0x01, 0x80}})), Repeat('a', 6));
  EXPECT_EQ(Decode(Concat({{0x24}, U32(0x4), {'a', 0x01, 0xC0, 10}})), Repeat('a', 14));
  // A literal run: clear bit, set bit, count - 3, the bytes.
  EXPECT_EQ(Decode(Concat({{0x11}, U32(0x2), {3}, ToBytes("abcdef")})), ToBytes("abcdef"));
}

TEST(LZSSDecoder, ItemsMaySpanTwoFlagWords) {
  // Variant 0: 31 literals, the match bit in bit 31, its length bits in the
  // next word, which comes before the match's distance byte.
  Bytes literals;
  for (int i = 0; i < 31; ++i) literals.push_back(static_cast<uint8_t>('A' + i % 26));
  Bytes expected = literals;
  expected.insert(expected.end(), 5, literals.back());
  EXPECT_EQ(Decode(Concat({{0x01}, U32(0x80000000u), literals, U32(0x2), {1}})), expected);
  // Variant 1: the two clear bits of a literal in bit 31 and the next word.
  const Bytes fourteen = Repeat('b', 14);
  Bytes want = Repeat('x', 4);
  want.insert(want.end(), fourteen.begin(), fourteen.end());
  want.push_back('z');
  EXPECT_EQ(Decode(Concat({{0x11}, U32(0x4), {'x', 0x01, 0x00}, fourteen, U32(0), {'z'}})), want);
}

TEST(LZSSDecoder, HostileFlagWordStreamsAreRefused) {
  const std::vector<Bytes> hostile = {
      Concat({{0x01}, U32(0x2), {'a', 0}}),                         // distance 0, window 256
      Concat({{0x11}, U32(0x4), {'a', 0x00, 0x10}}),                // distance 0, window 4096
      Concat({{0x11}, U32(0x4), {'a', 0x02, 0x00}}),                // reaches before the output
      Concat({{0x11}, U32(0x1), {0x01, 0x00}}),                     // match with no output yet
      {0x01, 0x00, 0x00},                                           // flag word cut short
      Concat({{0x01}, U32(0x1E), {'a', 5}}),                        // distance byte missing
      Concat({{0x11}, U32(0x4), {'a', 0x01}}),                      // match word cut short
      Concat({{0x11}, U32(0x2), {3}, ToBytes("abc")}),              // run shorter than its count
      Concat({{0x01}, U32(0x80000000u), Repeat('a', 31), {0x00}}),  // next word cut
  };
  for (size_t i = 0; i < hostile.size(); ++i) EXPECT_EQ(Decode(hostile[i]), std::nullopt) << i;
}

TEST(LZSSDecoder, FlagWordStreamMayEndBetweenItems) {
  // Unused flag bits after the last item are not looked at, set or not.
  EXPECT_EQ(Decode(Concat({{0x01}, U32(0xFFFFFFFEu), {'a'}})), ToBytes("a"));
  EXPECT_EQ(Decode(Concat({{0x11}, U32(0x3), {}})), Bytes());
}

TEST(LZSSDecoder, OutputBeyondCapacityFails) {
  const Bytes run = Concat({{0x11}, U32(0x4), {'a', 0x01, 0x70}});
  EXPECT_EQ(Decode(run, 11), Repeat('a', 11));
  EXPECT_EQ(Decode(run, 10), std::nullopt);
  EXPECT_EQ(Decode(run, 0), std::nullopt);
  HuffmanWriter w(9, 2);
  for (int i = 0; i < 5; ++i) w.Literal('q');
  w.Literal(LZSS::kEndSymbol);
  const Bytes five = w.Finish();
  EXPECT_EQ(Decode(five, 5), Repeat('q', 5));
  EXPECT_EQ(Decode(five, 4), std::nullopt);
}

TEST(LZSSDecoder, HuffmanStreamNeedsItsEndSymbolAndSoundItems) {
  HuffmanWriter good(9, 2);
  good.Literal('a');
  good.Match(0, 0, 0, 1);  // length 3, distance 1
  good.Literal(LZSS::kEndSymbol);
  EXPECT_EQ(Decode(good.Finish()), Repeat('a', 4));

  HuffmanWriter noEnd(9, 2);
  for (int i = 0; i < 3; ++i) noEnd.Literal('a');
  EXPECT_EQ(Decode(noEnd.Finish()), std::nullopt);

  HuffmanWriter zero(9, 2);
  zero.Literal('a');
  zero.Match(0, 0, 0, 0);
  zero.Literal(LZSS::kEndSymbol);
  EXPECT_EQ(Decode(zero.Finish()), std::nullopt);

  HuffmanWriter unused(8, 1);
  unused.Literal(273);  // a leaf that no coder sends
  unused.Literal(LZSS::kEndSymbol);
  EXPECT_EQ(Decode(unused.Finish()), std::nullopt);

  EXPECT_EQ(Decode({0x29}), std::nullopt);  // no bits at all
}

TEST(LZSSDecoder, PrefixesOfValidStreamsFailOrGiveAPrefix) {
  const Bytes input = lzss_test::TextSoup(3000, 7);
  for (uint32_t level : {1u, 4u, 9u}) {
    std::vector<uint8_t> small(input.begin(), input.begin() + 200);
    for (const Bytes& source : {small, input}) {
      const Bytes stream = LZSSEncodeToVector(source.data(), source.size(), level);
      for (size_t n = 0; n < stream.size(); ++n) {
        const auto got = Decode(Bytes(stream.begin(), stream.begin() + n), source.size());
        if (!got) continue;
        ASSERT_LE(got->size(), source.size()) << level << " " << n;
        EXPECT_TRUE(std::equal(got->begin(), got->end(), source.begin())) << level << " " << n;
      }
    }
  }
}

TEST(LZSSHuffmanTree, InitialCodeFollowsThePairwiseTree) {
  LZSSHuffmanTree t;
  t.Init(LZSS::kLiteralSymbols);
  EXPECT_EQ(t.Leaves(), 274u);
  EXPECT_EQ(t.Root(), 546u);
  uint64_t bits = 0;
  uint32_t n = 0;
  // 'a' sits at leaf 97; its path up is 97, 322, 435, 491, 519, 533, 540,
  // 544; the bit nearest the root goes first.
  ASSERT_TRUE(t.Code('a', bits, n));
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(bits, 0xBCu);
  EXPECT_TRUE(WellFormed(t));
}

TEST(LZSSHuffmanTree, StaysWellFormedThroughManyRebuilds) {
  for (uint32_t symbols : {16u, 64u, 273u}) {
    for (uint32_t skew : {1u, 3u, 40u}) {
      LZSSHuffmanTree t;
      t.Init(symbols);
      SkewedSymbols draw(symbols, skew, symbols * 31 + skew, 5000);
      for (uint32_t i = 0; i < 200000; ++i) {
        const uint32_t s = draw.Next();
        ASSERT_TRUE(t.Update(s));
        if (t.Freq(t.Root()) == LZSSHuffmanTree::kRebuildWeight + 1 || t.Freq(t.Root()) < 300 ||
            i % 9973 == 0) {
          ASSERT_TRUE(WellFormed(t)) << symbols << " " << skew << " " << i;
        }
      }
      EXPECT_TRUE(WellFormed(t));
    }
  }
}

// The update along a decoded path, and Decode (its table walks kept through
// swaps near the root and rebuilds), must find the symbol and leave exactly
// the tree the plain update leaves. A path that does not end at the symbol's
// leaf is refused; so is a code longer than the bits available, which
// changes nothing.
TEST(LZSSHuffmanTree, DecodingUpdatesMatchThePlainUpdate) {
  for (uint32_t symbols : {16u, 64u, 273u}) {
    for (uint32_t skew : {1u, 3u, 40u}) {
      LZSSHuffmanTree plain;
      LZSSHuffmanTree along;
      LZSSHuffmanTree decoder;
      plain.Init(symbols);
      along.Init(symbols);
      decoder.Init(symbols);
      // Drifting symbols move heavy nodes past each other near the root.
      SkewedSymbols draw(symbols, skew, symbols * 17 + skew, 3000);
      std::mt19937_64 noise(skew);
      for (uint32_t i = 0; i < 100000; ++i) {
        const uint32_t s = draw.Next();
        // The positions a decoder passes on its way to the symbol.
        uint64_t code = 0;
        uint32_t length = 0;
        ASSERT_TRUE(along.Code(s, code, length));
        std::vector<uint32_t> path;
        uint32_t x = along.Son(along.Root());
        for (uint32_t bit = 0; bit < length; ++bit) {
          x += uint32_t(code >> bit) & 1;
          path.push_back(x);
          x = along.Son(x);
        }
        ASSERT_EQ(x, s | LZSSHuffmanTree::kLeafFlag);
        if (i % 1000 == 0 && path.size() > 1) {
          EXPECT_FALSE(along.UpdateAlong(s, path.data(), uint32_t(path.size() - 1)));
        }
        const uint64_t bits = code | (noise() << length);
        uint32_t got = 0;
        if (i % 500 == 0) {
          ASSERT_EQ(decoder.Decode(bits, length - 1, got), 0u);
        }
        ASSERT_EQ(decoder.Decode(bits, length + uint32_t(i % 3), got), length);
        ASSERT_EQ(got, s);
        ASSERT_TRUE(plain.Update(s));
        ASSERT_TRUE(along.UpdateAlong(s, path.data(), uint32_t(path.size())));
        if (i % 97 == 0) {
          ASSERT_TRUE(SameTree(plain, along)) << symbols << " " << skew << " " << i;
          ASSERT_TRUE(SameTree(plain, decoder)) << symbols << " " << skew << " " << i;
        }
      }
      for (uint32_t s = 0; s < plain.Leaves(); ++s) EXPECT_EQ(plain.LeafOf(s), along.LeafOf(s));
    }
  }
}

// The update rule written plainly over a copy of a tree's nodes: add one on
// the way up, and swap a node that outgrows the next position with the last
// node of its old weight, found by looking at each position in turn.
class PlainUpdate {
 public:
  explicit PlainUpdate(const LZSSHuffmanTree& t) : root_(t.Root()) {
    for (uint32_t p = 0; p <= root_; ++p) {
      freq_.push_back(t.Freq(p));
      son_.push_back(t.Son(p));
      parent_.push_back(t.Parent(p));
    }
    for (uint32_t s = 0; s < t.Leaves(); ++s) leaf_.push_back(t.LeafOf(s));
  }
  void Update(uint32_t symbol) {
    for (uint32_t c = leaf_[symbol]; c != root_; c = uint32_t(parent_[c])) {
      const uint32_t k = ++freq_[c];
      uint32_t l = c;
      while (l + 1 < root_ && freq_[l + 1] < k) ++l;
      if (l == c) continue;
      std::swap(son_[c], son_[l]);
      std::swap(freq_[c], freq_[l]);
      for (uint32_t p : {c, l}) {
        if (son_[p] & LZSSHuffmanTree::kLeafFlag) {
          leaf_[son_[p] & 0x7FFF] = p;
        } else {
          parent_[son_[p]] = parent_[son_[p] + 1] = int32_t(p);
        }
      }
      c = l;
    }
    ++freq_[root_];
  }
  ::testing::AssertionResult Same(const LZSSHuffmanTree& t) const {
    for (uint32_t p = 0; p <= root_; ++p) {
      if (t.Freq(p) != freq_[p] || t.Son(p) != son_[p] || t.Parent(p) != parent_[p])
        return ::testing::AssertionFailure() << "position " << p;
    }
    return ::testing::AssertionSuccess();
  }

 private:
  uint32_t root_;
  std::vector<uint32_t> freq_;
  std::vector<uint32_t> son_;
  std::vector<int32_t> parent_;
  std::vector<uint32_t> leaf_;
};

// Every update swaps with the same partner as the plain rule: through long
// runs of equal weights (flat symbols), favourites that drift past each
// other near the root, and rebuilds (after which the tree is the new start).
TEST(LZSSHuffmanTree, UpdatesSwapWithTheLastNodeOfTheOldWeight) {
  for (uint32_t symbols : {16u, 64u, 273u}) {
    for (uint32_t skew : {1u, 3u, 40u}) {
      LZSSHuffmanTree tree;
      tree.Init(symbols);
      PlainUpdate plain(tree);
      SkewedSymbols draw(symbols, skew, symbols * 7 + skew, 2000);
      for (uint32_t i = 0; i < 60000; ++i) {
        const uint32_t s = draw.Next();
        const bool rebuilds = tree.Freq(tree.Root()) >= LZSSHuffmanTree::kRebuildWeight;
        ASSERT_TRUE(tree.Update(s));
        if (rebuilds) {
          plain = PlainUpdate(tree);
          continue;
        }
        plain.Update(s);
        if (i % 8 == 0) {
          ASSERT_TRUE(plain.Same(tree)) << symbols << " " << skew << " " << i;
        }
      }
    }
  }
}

// A tree set up again for fewer symbols keeps to the plain rule: nothing
// of its earlier, larger shape (weights past its new root, run guesses)
// steers its swaps.
TEST(LZSSHuffmanTree, TreeSetUpAgainForFewerSymbolsKeepsThePlainRule) {
  for (uint32_t skew : {1u, 3u, 40u}) {
    LZSSHuffmanTree tree;
    tree.Init(273);
    SkewedSymbols before(273, skew, 91 + skew, 2000);
    for (uint32_t i = 0; i < 30000; ++i) ASSERT_TRUE(tree.Update(before.Next()));
    tree.Init(16);
    PlainUpdate plain(tree);
    SkewedSymbols draw(16, skew, 7 + skew, 2000);
    for (uint32_t i = 0; i < 20000; ++i) {
      const uint32_t s = draw.Next();
      const bool rebuilds = tree.Freq(tree.Root()) >= LZSSHuffmanTree::kRebuildWeight;
      ASSERT_TRUE(tree.Update(s)) << skew << " " << i;
      if (rebuilds) {
        plain = PlainUpdate(tree);
        continue;
      }
      plain.Update(s);
      ASSERT_TRUE(plain.Same(tree)) << skew << " " << i;
    }
  }
}

// Matches shorter than their distance, and longer ones that repeat the bytes
// they copy at periods from one byte to past a machine word.
TEST(LZSSDecoder, OverlappingMatchesRepeatTheirPeriod) {
  for (const char* period : {"a", "ab", "abcdefg", "abcdefgh", "abcdefghi", "abcdefghijklmnopq"}) {
    Bytes in = lzss_test::Pattern(5000, period);
    in.insert(in.end(), in.begin(), in.begin() + 11);  // one short match far back
    for (uint32_t level : {1u, 6u, 9u}) {
      const Bytes coded = LZSSEncodeToVector(in.data(), in.size(), level);
      EXPECT_LT(coded.size(), in.size() / 4) << period << " " << level;
      EXPECT_EQ(Decode(coded, in.size()), in) << period << " " << level;
    }
  }
}

// Text, bytes of every value and a small alphabet in one input: the coded
// streams (which follow every tree update and rebuild) keep the bytes of
// earlier builds, and decode back.
TEST(LZSSDecoder, HuffmanStreamsKeepTheirBytesAndDecodeBack) {
  Bytes mixed = lzss_test::TextSoup(60000, 3);
  for (const Bytes& part : {lzss_test::RandomBytes(40000, 5), lzss_test::RandomBytes(50000, 9, 7),
                            lzss_test::TextSoup(30000, 11)}) {
    mixed.insert(mixed.end(), part.begin(), part.end());
  }
  struct Case {
    uint32_t level;
    size_t n;
    size_t coded;
    uint64_t hash;
  };
  const Case cases[] = {
      {7, 3000, 1051, 0x45f20592bb7c9bcfull},   {7, 20000, 6333, 0x7f2c102de49b6b4cull},
      {7, 180000, 96177, 0x418b8cfb9ad33273ull}, {9, 3000, 1051, 0xf21ae89f68055b29ull},
      {9, 20000, 6235, 0x22a9f634c4cc2871ull},   {9, 180000, 95105, 0x1220d255b67d2aa7ull},
  };
  for (const Case& c : cases) {
    const Bytes in(mixed.begin(), mixed.begin() + c.n);
    const Bytes coded = LZSSEncodeToVector(in.data(), in.size(), c.level);
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (uint8_t b : coded) hash = (hash ^ b) * 1099511628211ull;
    EXPECT_EQ(coded.size(), c.coded) << c.level << " " << c.n;
    EXPECT_EQ(hash, c.hash) << c.level << " " << c.n;
    EXPECT_EQ(Decode(coded, in.size()), in) << c.level << " " << c.n;
  }
}

// Literal streams whose favourites are few and drift: codes far longer than
// the decoder's table, swaps of short codes near the root, and rebuilds.
TEST(LZSSDecoder, SkewedDriftingLiteralsDecodeAsWritten) {
  for (uint32_t skew : {1u, 4u, 60u}) {
    for (uint32_t drift : {50u, 5000u}) {
      SkewedSymbols draw(256, skew, skew * 31 + drift, drift);
      HuffmanWriter w(9, 1);
      Bytes expected;
      for (uint32_t i = 0; i < 60000; ++i) {
        const uint32_t s = draw.Next();
        w.Literal(s);
        expected.push_back(static_cast<uint8_t>(s));
      }
      w.Literal(LZSS::kEndSymbol);
      EXPECT_EQ(Decode(w.Finish(), expected.size()), expected) << skew << " " << drift;
    }
  }
}

// A match at the very end of the output at distances around the widths the
// decoder copies in: the output is right and nothing lands past it; one
// byte less room fails.
TEST(LZSSDecoder, MatchesEndingTheOutputStayInside) {
  constexpr size_t kGuard = 32;
  for (uint32_t distance : {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 40u}) {
    for (uint32_t length : {3u, 8u, 15u, 16u, 17u, 33u, 258u}) {
      HuffmanWriter w(9, 1);
      Bytes expected;
      for (uint32_t i = 0; i < distance; ++i) {
        w.Literal('a' + i % 26);
        expected.push_back(static_cast<uint8_t>('a' + i % 26));
      }
      const uint32_t code = LZSS::LengthCode(length);
      const uint32_t low = LZSS::kVariantTable[1].lowBits;
      w.Match(code, length - LZSS::kMinMatch - LZSS::kLengthBase[code], distance >> low,
              distance & ((1u << low) - 1));
      for (uint32_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
      w.Literal(LZSS::kEndSymbol);
      const Bytes stream = w.Finish();

      Bytes out(expected.size() + kGuard, 0xEE);
      EXPECT_EQ(LZSSDecode(stream.data(), stream.size(), out.data(), expected.size()),
                int64_t(expected.size()));
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
      EXPECT_EQ(std::count(out.begin() + expected.size(), out.end(), 0xEE), kGuard)
          << distance << " " << length;
      EXPECT_EQ(Decode(stream, expected.size() - 1), std::nullopt) << distance << " " << length;
    }
  }
}

}  // namespace
