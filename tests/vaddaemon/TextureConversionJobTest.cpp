// When an asset folder on its way into the store needs its textures
// compiled: a texture source without a compiled texture, or with one whose
// record of sources is not that of the source and the pictures it names
// as they are now (whatever the files' times).
#include "vaddaemon/TextureConversionJob.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include "foundation/layout/TextureSourcesRecord.h"
#include "tests/support/TempFolder.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/TextureSourceNames.h"

namespace {

namespace fs = std::filesystem;

class TextureConversionNeed : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.Made()); }

  // Writes `relative` with its modification time `seconds` after a fixed
  // moment, so that the order of the files' times is the test's.
  void Put(const std::string& relative, int seconds) {
    const std::string path = temp_.Put(relative, "bytes of " + relative);
    fs::last_write_time(path, start_ + std::chrono::seconds(seconds));
  }

  // A texture source `relative` holding `text`, its time the fixed moment.
  void PutSource(const std::string& relative, const std::string& text) {
    fs::last_write_time(temp_.Put(relative, text), start_);
  }

  // A compiled texture `relative` (one level of one pixel) that holds the
  // record of the texture source `source` as it is now, or none when
  // `source` is empty; its time `seconds` after the fixed moment.
  void PutCompiled(const std::string& relative, const std::string& source, int seconds) {
    std::string record;
    if (!source.empty()) {
      EXPECT_EQ(DescribeTextureSources(temp_.At(source), &record),
                TextureSourcesState::kDescribed);
    }
    temp_.Put(relative, CompiledBytes(record));
    fs::last_write_time(temp_.At(relative), start_ + std::chrono::seconds(seconds));
  }

  static std::string CompiledBytes(const std::string& record) {
    std::string bytes = "KIRF";
    auto u32 = [&bytes](uint32_t value) {
      for (int i = 0; i < 4; ++i) bytes += char(value >> (8 * i));
    };
    u32(uint32_t(72 + record.size()));  // the bytes after this field
    for (uint32_t word : {0x46544D4Du, 1u, 1u, 1u, 1u, 1u, 3u, 2u, 2u, 2u, 0u, 1u}) u32(word);
    for (uint32_t word : {1u, 1u, 1u, 2u, 4u}) u32(word);
    return bytes + "BGRA" + record;
  }

  bool Needs(const std::string& relative, bool unrecordedIsStale) {
    return NeedsTextureConversion(temp_.At(relative), unrecordedIsStale);
  }

  const VUTest::TempFolder temp_{"Textures"};
  const fs::file_time_type start_ = fs::file_time_type::clock::now() - std::chrono::hours(1);
};

TEST_F(TextureConversionNeed, ASourceWithoutItsCompiledTextureNeedsIt) {
  Put("plain/config.txt", 0);
  Put("plain/body.png", 0);
  Put("plain/body.texture", 0);
  EXPECT_FALSE(Needs("plain", true));
  EXPECT_FALSE(Needs("missing-folder", true));

  Put("deep/config.txt", 0);
  Put("deep/tex/sub/body.texture.txt", 0);
  EXPECT_TRUE(Needs("deep", false));
  Put("deep/tex/sub/BODY.Texture", 1);
  EXPECT_FALSE(Needs("deep", false));
  // Without a record, a folder's compiled texture is made again.
  EXPECT_TRUE(Needs("deep", true));
}

TEST_F(TextureConversionNeed, ACompiledTextureWhoseSourcesChangedIsCompiledAnewWhateverTheTimes) {
  PutSource("a/body.texture.txt",
            "Hint = dxt1\r\n primary = tex\\Body.PNG \r\nAlpha=alpha.tga\r\n");
  Put("a/tex/body.png", 1);
  Put("a/alpha.tga", 2);
  Put("a/unrelated.png", 9);
  PutCompiled("a/body.texture", "a/body.texture.txt", -3);
  EXPECT_FALSE(Needs("a", true));
  EXPECT_FALSE(Needs("a", false));

  // Each input changed, dated before the compiled texture: then back.
  const std::pair<const char*, const char*> changes[] = {
      {"a/alpha.tga", "another alpha"},
      {"a/tex/body.png", "another picture"},
      {"a/body.texture.txt", "Primary=tex/body.png\n"}};
  for (const auto& [file, bytes] : changes) {
    SCOPED_TRACE(file);
    const std::string before = temp_.Get(file);
    temp_.Put(file, bytes);
    fs::last_write_time(temp_.At(file), start_ - std::chrono::seconds(10));
    EXPECT_TRUE(Needs("a", true));
    EXPECT_TRUE(Needs("a", false));
    temp_.Put(file, before);
    EXPECT_FALSE(Needs("a", true));
  }
  temp_.Put("a/unrelated.png", "changed");
  EXPECT_FALSE(Needs("a", true));

  // The same texture without its record: made again from a folder only.
  PutCompiled("a/body.texture", "", 20);
  EXPECT_TRUE(Needs("a", true));
  EXPECT_FALSE(Needs("a", false));
}

// A record is read only from a compiled texture whose layout reads.
TEST_F(TextureConversionNeed, ARecordInADamagedCompiledTextureIsNone) {
  PutSource("a/body.texture.txt", "Primary=body.png\n");
  Put("a/body.png", 0);
  PutCompiled("a/body.texture", "a/body.texture.txt", 5);
  const std::string good = temp_.Get("a/body.texture");
  ASSERT_FALSE(Needs("a", true));
  // The tag, the size, the type, no image, no level, a level past the end,
  // the record's first line.
  const std::pair<size_t, char> damages[] = {{0, 'X'}, {4, 1},  {8, 0},  {28, 0},
                                             {56, 0},  {75, 1}, {80, 'T'}};
  for (const auto& [at, byte] : damages) {
    std::string bytes = good;
    bytes[at] = byte;
    temp_.Put("a/body.texture", bytes);
    EXPECT_TRUE(Needs("a", true)) << at;
  }
  temp_.Put("a/body.texture", good.substr(0, good.size() - 1));
  EXPECT_TRUE(Needs("a", true));
}

// A conversion that cannot read a picture fails and removes the compiled
// texture; when the source names a picture that is not there, the compiled
// texture is kept whatever the times, and one that is missing is still made.
TEST_F(TextureConversionNeed, ACompiledTextureWhosePictureIsGoneIsKept) {
  PutSource("a/body.texture.txt", "Primary=body.png\r\nAlpha=alpha.tga\r\n");
  Put("a/alpha.tga", 0);
  Put("a/body.texture", -5);
  EXPECT_FALSE(Needs("a", true));
  Put("a/body.png", -9);
  EXPECT_TRUE(Needs("a", true));
  fs::remove(temp_.At("a/alpha.tga"));
  EXPECT_FALSE(Needs("a", true));

  PutSource("out/body.texture.txt", "Primary=../body.png\r\n");
  Put("body.png", 0);
  Put("out/body.texture", -5);
  EXPECT_FALSE(Needs("out", true));
  fs::remove(temp_.At("out/body.texture"));
  EXPECT_TRUE(Needs("out", true));
}

// An up-to-date folder stays up to date through the store's copies (into
// staging, into an edit copy), which also keep the files' times.
TEST_F(TextureConversionNeed, AStoreCopyOfAnUpToDateFolderNeedsNoConversion) {
  Put("src/body.png", 0);
  PutSource("src/body.texture.txt", "Primary=body.png\n");
  PutCompiled("src/body.texture", "src/body.texture.txt", 5);
  std::string error;
  ASSERT_TRUE(CopyFolderTree(temp_.At("src"), temp_.At("copy"), &error)) << error;
  EXPECT_EQ(fs::last_write_time(temp_.At("copy/body.texture")),
            fs::last_write_time(temp_.At("src/body.texture")));
  EXPECT_FALSE(Needs("copy", true));
}

// A conversion cut short removes, of the files below its folder, only those
// under the converter's temporary names for compiled textures that were not
// there before it began.
TEST_F(TextureConversionNeed, OnlyTheConvertersTemporaryFilesMadeSinceAreRemoved) {
  temp_.Put("a/t9.texture.1-1.tmp", "the user's");
  const std::set<std::string> before = ConversionTemporaries(temp_.At("a"));
  const char* const kept[] = {"t0.texture.x-1.tmp", "t0.texture.1-x.tmp", "t0.texture.1-.tmp",
                              "t0.texture.-1.tmp",  "t0.png.1-1.tmp",     "t0.texture.1-1.tmp.txt",
                              ".texture.1-1.tmp",   "t9.texture.1-1.tmp"};
  const char* const removed[] = {"t0.texture.12-3.tmp", "sub/T1.TEXTURE.4-5.tmp"};
  for (const char* name : kept) temp_.Put(std::string("a/") + name, "x");
  for (const char* name : removed) temp_.Put(std::string("a/") + name, "x");
  EXPECT_EQ(RemoveConversionTemporaries(temp_.At("a"), before), 2u);
  for (const char* name : kept) EXPECT_TRUE(temp_.Exists(std::string("a/") + name)) << name;
  for (const char* name : removed) EXPECT_FALSE(temp_.Exists(std::string("a/") + name)) << name;
}

}  // namespace
