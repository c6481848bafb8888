// The record of sources read back from damaged compiled textures and from
// files at the reader's bounds, and the largest texture source described.
#include "foundation/layout/TextureSourcesRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"

namespace {

const std::string kFirst = "texture sources 1\n";
const std::string kRecord = kFirst + "source 0123abcd 17\n";

void PutU32(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = char(value >> (8 * i));
}

// `bytes` with its "KIRF" size field set to match its length.
std::string Sized(std::string bytes) {
  if (bytes.size() >= 8) PutU32(&bytes, 4, uint32_t(bytes.size() - 8));
  return bytes;
}

// A compiled texture of `images` images, each of `levels` levels of one
// pixel, then `tail`.
std::string Compiled(uint32_t images, uint32_t levels, const std::string& tail) {
  std::string bytes(56, '\0');
  std::memcpy(bytes.data(), "KIRF", 4);
  const uint32_t header[] = {0x46544D4D, 1, 1, 1, 1, images, 3, 2, 2, 2, 0, 1};
  for (size_t i = 0; i < std::size(header); ++i) PutU32(&bytes, 8 + 4 * i, header[i]);
  for (uint32_t image = 0; image < images; ++image) {
    bytes.append(4, '\0');
    PutU32(&bytes, bytes.size() - 4, levels);
    for (uint32_t level = 0; level < levels; ++level) {
      bytes.append(16, '\0');
      for (uint32_t i = 0; i < 4; ++i) PutU32(&bytes, bytes.size() - 16 + 4 * i, i < 2 ? 1 : 4);
      bytes += "BGRA";
    }
  }
  return Sized(bytes + tail);
}

std::string Padded(size_t length) {
  std::string record = kFirst;
  record.resize(length - 1, 'x');
  return record + "\n";
}

TEST(TextureSourcesRecord, ARecordIsReadOnlyFromACompiledTextureWithinTheBounds) {
  const std::string whole = Compiled(1, 1, kRecord);
  const std::string bare = Compiled(1, 1, "");
  struct Case {
    const char* what;
    std::string bytes;
    std::optional<size_t> after;  // bytes after the last level; none when the walk fails
    std::string record;           // empty: none
  };
  const Case cases[] = {
      {"whole", whole, kRecord.size(), kRecord},
      {"no record", bare, 0, ""},
      {"the first line alone", Compiled(1, 1, kFirst), kFirst.size(), kFirst},
      {"less than the first line", Compiled(1, 1, "texture sources"), 15, ""},
      {"another first line", Compiled(1, 1, "texture sources 2\n"), 18, ""},
      {"a record of the most bytes", Compiled(1, 1, Padded(kMaxTextureRecordBytes)),
       kMaxTextureRecordBytes, Padded(kMaxTextureRecordBytes)},
      {"a record too long", Compiled(1, 1, Padded(kMaxTextureRecordBytes + 1)),
       kMaxTextureRecordBytes + 1, ""},
      {"six images", Compiled(6, 1, kRecord), kRecord.size(), kRecord},
      {"seven images", Compiled(7, 1, kRecord), std::nullopt, ""},
      {"no image", Compiled(0, 1, kRecord), std::nullopt, ""},
      {"32 levels", Compiled(1, 32, kRecord), kRecord.size(), kRecord},
      {"33 levels", Compiled(1, 33, kRecord), std::nullopt, ""},
      {"no level", Compiled(1, 0, kRecord), std::nullopt, ""},
      {"cut inside the header", Sized(whole.substr(0, 40)), std::nullopt, ""},
      {"cut after the header", Sized(whole.substr(0, 56)), std::nullopt, ""},
      {"cut inside a level header", Sized(whole.substr(0, 66)), std::nullopt, ""},
      {"a level past the end", Sized(bare.substr(0, bare.size() - 1)), std::nullopt, ""},
      {"a size field short of the length", whole + "\n", std::nullopt, ""},
  };
  const VUTest::TempFolder temp("TextureRecord");
  ASSERT_TRUE(temp.Made());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string& bytes = c.bytes;
    const TextureReadAt readAt = [&bytes](uint64_t at, void* out, size_t n) {
      if (at > bytes.size() || n > bytes.size() - at) return false;
      std::memcpy(out, bytes.data() + at, n);
      return true;
    };
    uint64_t offset = 0;
    const bool walked = CompiledTextureRecordOffset(readAt, bytes.size(), &offset);
    EXPECT_EQ(walked ? std::optional<size_t>(bytes.size() - offset) : std::nullopt, c.after);
    std::string record = "stale";
    EXPECT_EQ(ReadCompiledTextureRecord(temp.Put("body.texture", bytes), &record),
              !c.record.empty());
    EXPECT_TRUE(record == c.record) << record.size() << " bytes: " << record.substr(0, 40);
  }
}

TEST(TextureSourcesRecord, ATextureSourceOfTheMostBytesIsDescribed) {
  const VUTest::TempFolder temp("TextureRecord");
  ASSERT_TRUE(temp.Made());
  temp.Put("body.png", "picture");
  for (size_t length : {kMaxTextureSourceBytes, kMaxTextureSourceBytes + 1}) {
    SCOPED_TRACE(length);
    std::string text = "Primary=body.png\n";
    text.resize(length - 1, ' ');
    std::string record;
    const TextureSourcesState state =
        DescribeTextureSources(temp.Put("body.texture.txt", text + "\n"), &record);
    if (length > kMaxTextureSourceBytes) {
      EXPECT_EQ(state, TextureSourcesState::kUnreadable);
      EXPECT_EQ(record, "");
      continue;
    }
    EXPECT_EQ(state, TextureSourcesState::kDescribed);
    EXPECT_NE(record.find(" " + std::to_string(length) + "\nprimary "), std::string::npos)
        << record;
  }
}

}  // namespace
