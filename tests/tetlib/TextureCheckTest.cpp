// The texture folder check on asset folders laid out per case.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/tetlib/TetTestSupport.h"
#include "tetlib/TextureCheck.h"

namespace {

using Lines_ = std::vector<std::string>;

struct File {
  const char* path;  // below the asset folder
  const char* text;  // the file's text, or null for an image
  uint32_t width = 0;
  uint32_t height = 0;
  bool headerOnly = false;  // the image's pixels cut off
};

class TextureCheckTest : public TetTest {
 protected:
  // Lays the files out in a new asset folder and checks it.
  bool Check(const std::vector<File>& files, float build, bool convert, const std::string& folder) {
    for (const File& file : files) {
      if (file.text != nullptr) {
        Put(folder + "/" + file.path, file.text);
      } else {
        PutBmp(folder + "/" + file.path, file.width, file.height);
        if (file.headerOnly) std::filesystem::resize_file(At(folder + "/" + file.path), 62);
      }
    }
    Findings().Clear();
    Manager().SetAssetBuild(build + 0.001f);
    Manager().SetConvertTextures(convert);
    const Kiv::File::Path asset(At(folder));
    return TETLib::CheckAssetTextures(asset, asset);
  }
};

TEST_F(TextureCheckTest, ReportsWhatTheTextureFilesOfAFolderTreeLack) {
  struct Case {
    std::vector<File> files;
    float build;
    bool convert;
    Lines_ findings;
  };
  const std::string longLine = "Tile=" + std::string(600, 's') + "Primary=gone.bmp\n";
  const Case cases[] = {
      {{{"a.texture", "x"}, {"a.texture.txt", "Primary=a.bmp\n"}, {"a.bmp", nullptr, 64, 32}},
       3.4f,
       false,
       Lines_()},
      {{{"a.texture", "x"}}, 2.8f, false, Found("W", "$tet_duplicatetexture", {"a.texture"})},
      {{{"a.texture", "x"}}, 2.9f, false, Found("E", "$tet_duplicatetexture", {"a.texture"})},
      {{{"w.texture.txt", "Primary=w.bmp\n"}, {"w.bmp", nullptr, 256, 100}},
       3.4f,
       false,
       Found("E", "$tet_texture_notpower2", {"w.bmp"})},
      // Only the header of an image is read.
      {{{"w.texture.txt", "Primary=w.bmp\n"}, {"w.bmp", nullptr, 256, 100, true}},
       3.4f,
       false,
       Found("E", "$tet_texture_notpower2", {"w.bmp"})},
      {{{"w.texture.txt", "Primary=p.bmp\r\nAlpha=a.bmp\r\n"},
        {"p.bmp", nullptr, 256, 256},
        {"a.bmp", nullptr, 128, 128}},
       3.4f,
       false,
       Found("E", "$tet_primaryalpha_notsamesize", {"w.texture.txt"})},
      // Names are found whatever their case; the last line of a kind wins.
      {{{"t/w.texture.txt", "Primary=gone.bmp\nPrimary=Sub/Wall.BMP\n"},
        {"t/sub/wall.bmp", nullptr, 32, 32}},
       3.4f,
       false,
       Lines_()},
      {{{"w.texture.txt", "Primary=p.bmp\nAlpha=../a.bmp\n"}},
       3.4f,
       false,
       {"E " + Msg("$tet_texture_missing_primary", {"p.bmp", "w.texture.txt"}),
        "E " + Msg("$tet_texture_missing_alpha", {"../a.bmp", "w.texture.txt"})}},
      {{{"w.texture.txt", "Primary=p.bmp\n"}, {"p.bmp", "not an image"}},
       3.4f,
       false,
       Found("E", "$tet_texture_failedload", {"p.bmp"})},
      {{{"x/y/z/w.convert-tex.txt", "Primary=p.bmp\n"}},
       3.4f,
       false,
       Found("E", "$tet_texture_failedload", {"x/y/z/w.convert-tex.txt"})},
      {{{"w.texture.txt", "Name=\xE9t\xE9\nPrimary=\xE9.bmp\n"}},
       3.4f,
       false,
       {"E " + Msg("$tet_non_ansi_texture", {"w.texture.txt"}),
        "E " + Msg("$tet_texture_missing_primary", {"\xE9.bmp", "w.texture.txt"})}},
      // Lines are whole, however long: no piece of a line starts a new one.
      {{{"w.texture.txt", longLine.c_str()}}, 3.4f, false, {}},
      {{{"w.texture.txt", "Primary=p.bmp\n"}, {"p.bmp", nullptr, 16, 16}},
       3.4f,
       true,
       Found("E", "$tet_binary_texture_conversion_failed", {"w.texture"})},
      {{{"w.texture.txt", "Primary=p.bmp\n"}, {"W.Texture", "x"}, {"p.bmp", nullptr, 16, 16}},
       3.4f,
       true,
       Lines_()},
      // Entries come in the order of their names without regard to case.
      {{{"B.texture", "x"}, {"a.texture", "x"}, {"C.texture", "x"}},
       3.4f,
       false,
       {"E " + Msg("$tet_duplicatetexture", {"a.texture"}),
        "E " + Msg("$tet_duplicatetexture", {"B.texture"}),
        "E " + Msg("$tet_duplicatetexture", {"C.texture"})}},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string folder = "asset" + std::to_string(n++);
    EXPECT_EQ(Check(c.files, c.build, c.convert, folder), c.findings.empty()) << folder;
    EXPECT_EQ(Lines(), c.findings) << folder;
  }
}

TEST_F(TextureCheckTest, ALinkedFolderIsNotEnteredAndAnImageOutsideTheAssetIsMissing) {
  PutBmp("outside.bmp", 30, 30);
  Put("asset/w.texture.txt", "Primary=sub/../../outside.bmp\n");
  std::filesystem::create_directories(At("asset/sub"));
  ASSERT_EQ(::symlink("..", At("asset/sub/loop").c_str()), 0);
  ASSERT_EQ(::symlink(At("outside.bmp").c_str(), At("asset/sub/x.convert-tex.txt").c_str()), 0);
  EXPECT_FALSE(Check({}, 3.4f, false, "asset"));
  EXPECT_EQ(
      Lines(),
      (Lines_{"E " + Msg("$tet_texture_failedload", {"sub/x.convert-tex.txt"}),
              "E " + Msg("$tet_texture_missing_primary", {"../outside.bmp", "w.texture.txt"})}));
}

}  // namespace
