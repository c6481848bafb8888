// The library string table: indices by first use, the chunk's layout by
// name-hash bucket and bytes, and the chunk writer's reserved writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gscompiler/GSLibraryStrings.h"
#include "gscompiler/GslChunkWriter.h"
#include "gscompiler/bytecode/GSByteOrder.h"
#include "gscompiler/bytecode/GSLibraryFormat.h"

using namespace GSCompiler;
using GSByteCode::GSReadU32;

namespace {

uint32_t BucketOf(std::string_view text) {
  uint32_t h = 0;
  for (char c : text) h = h * 3 + static_cast<uint32_t>(static_cast<int32_t>(c));
  return h % GSLibraryFormat::kGslStringBuckets;
}

// Checks the strings chunk written at `at` in `out` against the table: its
// frame, every offset pointing at its own text, the texts packed without
// gaps by bucket and then by unsigned bytes, and the zero padding.
void ExpectLaidOut(const GSLibraryStrings& s, const ByteBuffer& out, uint32_t at) {
  ASSERT_EQ(out.errors, 0u);
  const uint8_t* p = out.Data() + at;
  const uint32_t count = s.Count();
  ASSERT_EQ(GSReadU32(p + 4), GSLibraryFormat::TagStrings);
  ASSERT_EQ(GSReadU32(p + 8), count);
  const uint8_t* table = p + 12;
  const char* texts = reinterpret_cast<const char*>(table + 4 * uint64_t{count});
  std::vector<std::pair<uint32_t, uint32_t>> byOffset;  // offset, index
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t offset = GSReadU32(table + 4 * i);
    ASSERT_EQ(std::string_view(texts + offset), s.Text(i)) << i;
    byOffset.emplace_back(offset, i);
  }
  std::sort(byOffset.begin(), byOffset.end());
  uint32_t next = 0;
  for (size_t k = 0; k < byOffset.size(); ++k) {
    const std::string_view text = s.Text(byOffset[k].second);
    ASSERT_EQ(byOffset[k].first, next) << "texts packed in layout order";
    next += static_cast<uint32_t>(text.size()) + 1;
    if (k == 0) continue;
    const std::string_view before = s.Text(byOffset[k - 1].second);
    EXPECT_TRUE(BucketOf(before) < BucketOf(text) ||
                (BucketOf(before) == BucketOf(text) && before < text))
        << before << " / " << text;
  }
  const uint32_t end = at + 12 + 4 * count + next;
  const uint32_t padded = (end + 3) / 4 * 4;
  EXPECT_EQ(GSReadU32(p), padded - at) << "chunk length";
  EXPECT_EQ(out.position, padded);
  for (uint32_t k = end; k < padded; ++k) EXPECT_EQ(out.Data()[k], 0u) << k;
}

// The texts of `s`, indexed in order, written behind `lead` bytes.
void WriteTexts(GSLibraryStrings& s, const std::vector<std::string>& texts, ByteBuffer& out,
                uint32_t lead) {
  for (size_t i = 0; i < texts.size(); ++i)
    ASSERT_EQ(s.Index(texts[i].c_str()), i) << texts[i];
  ASSERT_TRUE(out.Init(16));
  for (uint32_t k = 0; k < lead; ++k) GslWriteBytes(out, "\x7F", 1);
  s.Write(out);
}

}  // namespace

TEST(GSLibraryStrings, IndicesByFirstUseLayoutByHashOrder) {
  GSLibraryStrings s;
  EXPECT_EQ(s.Index("b"), 0u);
  EXPECT_EQ(s.Index("a"), 1u);
  EXPECT_EQ(s.Index("b"), 0u);
  EXPECT_EQ(s.Index(""), 2u);
  ByteBuffer out;
  out.Init(8);
  out.WriteU32(1);  // file offset 4 before the chunk: padding counts from 0
  s.Write(out);
  ASSERT_EQ(out.errors, 0u);
  const uint8_t* p = out.Data() + 4;
  EXPECT_EQ(GSReadU32(p + 4), GSLibraryFormat::TagStrings);
  EXPECT_EQ(GSReadU32(p + 8), 3u);
  // Buckets: "" is 0, "a" 97 % 61 = 36, "b" 98 % 61 = 37.
  EXPECT_EQ(GSReadU32(p + 12), 3u) << "b after \"\" and a";
  EXPECT_EQ(GSReadU32(p + 16), 1u);
  EXPECT_EQ(GSReadU32(p + 20), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 24), 6), std::string("\0a\0b\0\0", 6));
  EXPECT_EQ(out.size % 4, 0u);
  EXPECT_EQ(GSReadU32(p), out.size - 4);
}

// Many texts share each of the 61 buckets: every offset points at its own
// text, and the layout runs by bucket, then byte-wise within a bucket.
TEST(GSLibraryStrings, ManyTextsAreLaidOutByBucketThenBytes) {
  GSLibraryStrings s;
  constexpr uint32_t kTexts = 3000;
  std::vector<std::string> texts;
  for (uint32_t i = 0; i < kTexts; ++i) texts.push_back("t" + std::to_string((i * 7919) % kTexts));
  ByteBuffer out;
  WriteTexts(s, texts, out, 0);
  ExpectLaidOut(s, out, 0);
}

// Within a bucket the order is decided past the first 8 bytes when those are
// equal, shorter texts sort before their extensions, and bytes of 0x80 and
// above sort after ASCII (unsigned), although the bucket hash reads them as
// signed. Each family is large enough to put many texts in every bucket; the
// chunk starts at each offset modulo 4.
TEST(GSLibraryStrings, TextsSharingLongPrefixesOrHighBytesAreLaidOutByUnsignedBytes) {
  struct Family {
    const char* name;
    std::string stem;
    std::string tail;
  };
  const std::vector<Family> families = {
      {"8-byte prefix shared", "::Class_", "()"},
      {"16-byte prefix shared", "::LongClassName_", ""},
      {"prefix of 7 then a digit", "::Abcde", ""},
      {"high byte after the prefix", "::Class_\xC3\xA9", "\xE2\x82\xAC"},
      {"high first byte", "\xE2\x82\xAC", "~"},
      {"ASCII against high bytes", "~", "\x80"},
  };
  for (uint32_t lead = 0; lead < 4; ++lead) {
    GSLibraryStrings s;
    std::vector<std::string> texts;
    for (const Family& f : families)
      for (int i = 0; i < 400; ++i) texts.push_back(f.stem + std::to_string(i * 37 % 400) + f.tail);
    // Texts of up to 9 bytes that extend one another.
    for (const std::string& whole : {std::string("abcdefghi"), std::string("\xFF\xFE\xFD\xFC")})
      for (size_t n = 1; n <= whole.size(); ++n) texts.push_back(whole.substr(0, n));
    texts.push_back("");
    ByteBuffer out;
    WriteTexts(s, texts, out, lead);
    ExpectLaidOut(s, out, lead);
  }
}

TEST(GSLibraryStrings, ManyTextsKeepTheirIndicesAsTheTableGrowsAndAfterClear) {
  GSLibraryStrings s;
  constexpr uint32_t kTexts = 20000;  // the lookup table grows several times
  for (uint32_t round = 0; round < 2; ++round) {
    for (uint32_t i = 0; i < kTexts; ++i) {
      const std::string text = "n" + std::to_string(i);
      ASSERT_EQ(s.Index(text.c_str()), i) << text;
    }
    // Texts that differ only in their end, and a null text read as "".
    EXPECT_EQ(s.Index("n1x"), kTexts);
    EXPECT_EQ(s.Index(nullptr), kTexts + 1);
    EXPECT_EQ(s.Index(""), kTexts + 1);
    for (uint32_t i = 0; i < kTexts; i += 997) {
      const std::string text = "n" + std::to_string(i);
      EXPECT_EQ(s.Index(text.c_str()), i);
      EXPECT_EQ(s.Text(i), text);
    }
    EXPECT_EQ(s.Count(), kTexts + 2);
    EXPECT_FALSE(s.Failed());
    s.Clear();
    EXPECT_EQ(s.Count(), 0u);
  }
}

// A text handed in from the table itself (the tail of a stored text) is
// copied right even when adding it moves the stored texts.
TEST(GSLibraryStrings, TailOfAStoredTextIsAddedWhileTheTextsGrow) {
  GSLibraryStrings s;
  const std::string whole = std::string(3000, 'x') + "end";
  ASSERT_EQ(s.Index(whole.c_str()), 0u);
  for (uint32_t k = 1; k <= whole.size(); ++k) {
    const uint32_t index = s.Index(s.Text(k - 1).data() + 1);
    ASSERT_EQ(index, k);
    ASSERT_EQ(s.Text(k), std::string_view(whole).substr(k)) << k;
  }
  for (uint32_t k = 0; k <= whole.size(); k += 97)
    EXPECT_EQ(s.Index(whole.substr(k).c_str()), k) << "found again";
}

// A table used again after Clear() sizes its chunk from its new texts only.
TEST(GSLibraryStrings, ChunkAfterClearHoldsOnlyTheNewTexts) {
  GSLibraryStrings s;
  ByteBuffer first;
  WriteTexts(s, {"a long text from the compile before", "another"}, first, 0);
  s.Clear();
  ByteBuffer second;
  WriteTexts(s, {"x", "yz"}, second, 2);
  ExpectLaidOut(s, second, 2);
}

// Write frees the look-up table; look-ups after it still find every text
// under its index, and a second chunk holds the texts added since.
TEST(GSLibraryStrings, IndexAfterWriteFindsEarlierTextsAndAddsNewOnes) {
  GSLibraryStrings s;
  std::vector<std::string> texts;
  for (int i = 0; i < 5000; ++i) texts.push_back("w" + std::to_string(i));
  ByteBuffer first;
  WriteTexts(s, texts, first, 0);
  ExpectLaidOut(s, first, 0);
  for (uint32_t i = 0; i < texts.size(); i += 7) EXPECT_EQ(s.Index(texts[i].c_str()), i);
  EXPECT_EQ(s.Index("after"), texts.size());
  EXPECT_EQ(s.Index("w42"), 42u);
  ByteBuffer second;
  ASSERT_TRUE(second.Init(16));
  s.Write(second);
  ExpectLaidOut(s, second, 0);
  EXPECT_EQ(s.Count(), texts.size() + 1);
}

// A chunk written into a buffer that cannot grow leaves the buffer failed,
// as does a table whose memory ran out.
TEST(GSLibraryStrings, WriteIntoAFailedBufferOrPastFourGigabytesFails) {
  GSLibraryStrings s;
  s.Index("text");
  ByteBuffer failed;
  s.Write(failed);  // no storage
  EXPECT_NE(failed.errors & ByteBuffer::kGrowthFailed, 0u);
  ByteBuffer nearEnd;
  ASSERT_TRUE(nearEnd.Init(16));
  nearEnd.position = UINT32_MAX - 12;
  s.Write(nearEnd);
  EXPECT_NE(nearEnd.errors & ByteBuffer::kGrowthFailed, 0u);
  EXPECT_EQ(nearEnd.capacity, 16u) << "nothing grown";
}

TEST(GslChunkWriter, ReservedBytesAreHandedOutOnceAndRefusedPastFourGigabytes) {
  ByteBuffer out;
  ASSERT_TRUE(out.Init(4));
  unsigned char* a = GslReserveBytes(out, 3);
  ASSERT_NE(a, nullptr);
  std::copy_n("abc", 3, a);
  unsigned char* b = GslReserveBytes(out, 100);  // grows (the storage may move)
  ASSERT_NE(b, nullptr);
  GslStoreU32(b, 0x04030201u);
  EXPECT_EQ(out.position, 103u);
  EXPECT_EQ(out.size, 103u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Data()), 7), "abc\x01\x02\x03\x04");
  EXPECT_EQ(GslReserveBytes(out, 0), out.Data() + 103) << "nothing reserved";
  EXPECT_EQ(out.position, 103u);

  out.position = UINT32_MAX - 2;
  EXPECT_EQ(GslReserveBytes(out, 3), nullptr);
  EXPECT_NE(out.errors & ByteBuffer::kGrowthFailed, 0u);
  out.position = 0;
  EXPECT_EQ(GslReserveBytes(out, 1), nullptr) << "a failed buffer stays failed";

  ByteBuffer none;
  EXPECT_EQ(GslReserveBytes(none, 0), nullptr);
  EXPECT_NE(none.errors & ByteBuffer::kGrowthFailed, 0u);
}

// Sizes on both sides of the 16 KB bounce buffer, equal parts, empty parts
// and parts whose lengths share a large or no common divisor.
TEST(GslChunkWriter, RotatedBytesMatchStdRotate) {
  const std::vector<std::pair<size_t, size_t>> cases = {
      {0, 0},     {0, 5},         {5, 0},         {3, 3},         {1, 7},
      {7, 1},     {40000, 3},     {3, 40000},     {20000, 33000}, {33001, 20000},
      {16384, 16384}, {49152, 16384}, {100003, 70001},
  };
  for (const auto& [left, right] : cases) {
    std::vector<unsigned char> bytes(left + right);
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<unsigned char>(k * 131 + k / 251);
    std::vector<unsigned char> expected = bytes;
    std::rotate(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(left),
                expected.end());
    GslRotateBytes(bytes.data(), bytes.data() + left, bytes.data() + bytes.size());
    EXPECT_TRUE(bytes == expected) << left << " + " << right;
  }
}
