// When an asset folder on its way into the store needs its textures
// compiled: a texture source without a compiled texture, or (by the files'
// times) with one older than the source or a picture it names.
#include "vaddaemon/TextureConversionJob.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/support/TempFolder.h"
#include "vaddaemon/FolderTree.h"

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

  bool Needs(const std::string& relative, bool compareTimes) {
    return NeedsTextureConversion(temp_.At(relative), compareTimes);
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
  EXPECT_FALSE(Needs("deep", true));
}

TEST_F(TextureConversionNeed, ACompiledTextureOlderThanItsSourceOrPicturesIsCompiledAnew) {
  PutSource("a/body.texture.txt",
            "Hint = dxt1\r\n primary = tex\\Body.PNG \r\nAlpha=alpha.tga\r\n");
  Put("a/tex/body.png", 1);
  Put("a/alpha.tga", 2);
  Put("a/unrelated.png", 9);
  Put("a/body.texture", 3);
  EXPECT_FALSE(Needs("a", true));

  fs::last_write_time(temp_.At("a/alpha.tga"), start_ + std::chrono::seconds(4));
  EXPECT_TRUE(Needs("a", true));
  EXPECT_FALSE(Needs("a", false));
  fs::last_write_time(temp_.At("a/alpha.tga"), start_);
  fs::last_write_time(temp_.At("a/tex/body.png"), start_ + std::chrono::seconds(4));
  EXPECT_TRUE(Needs("a", true));
  fs::last_write_time(temp_.At("a/tex/body.png"), start_);
  fs::last_write_time(temp_.At("a/body.texture.txt"), start_ + std::chrono::seconds(4));
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

// The store's copies keep the files' times, so an up-to-date folder stays
// up to date through a copy (into staging, into an edit copy).
TEST_F(TextureConversionNeed, AStoreCopyOfAnUpToDateFolderNeedsNoConversion) {
  Put("src/body.png", 0);
  PutSource("src/body.texture.txt", "Primary=body.png\n");
  Put("src/body.texture", 5);
  std::string error;
  ASSERT_TRUE(CopyFolderTree(temp_.At("src"), temp_.At("copy"), &error)) << error;
  EXPECT_EQ(fs::last_write_time(temp_.At("copy/body.texture")),
            fs::last_write_time(temp_.At("src/body.texture")));
  EXPECT_FALSE(Needs("copy", true));
}

}  // namespace
