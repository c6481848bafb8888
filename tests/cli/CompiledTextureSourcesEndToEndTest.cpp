// A compiled texture is used only while its sources are the ones it was
// compiled from, end to end: a picture or texture source replaced by one
// dated earlier than the compiled texture (as `cp -p`, an unpacked archive
// or `rsync -t` leave it) is compiled at the commit and at the install
// from a folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/ToolFixture.h"
#include "tests/support/TextureTestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSide = 64;
const char kOk[] = "OK (0 Errors, 0 Warnings)\n";

std::vector<uint8_t> Picture(bool inverted) {
  std::vector<uint8_t> rgba = texturetest::SmoothPicture(kSide, kSide, false);
  for (size_t i = 0; inverted && i < rgba.size(); ++i)
    if (i % 4 != 3) rgba[i] = uint8_t(255 - rgba[i]);
  return rgba;
}

class CompiledTextureSources : public ToolFixture {
 protected:
  static ToolResult Succeed(const std::vector<std::string>& args) {
    const ToolResult r = Run(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return r;
  }

  // A texture asset folder: "t.texture.txt" naming the picture "t.bmp".
  static std::string AssetFolder(const std::string& kuid) {
    const std::string folder = MakeTempFolder() + "/asset";
    fs::create_directories(folder);
    EXPECT_TRUE(WriteFile(folder + "/config.txt",
                          "kuid " + kuid +
                              "\nusername \"Board\"\nkind \"texture\"\nvandru-build 3.4\n"
                              "texture \"t.texture\"\n"));
    EXPECT_TRUE(WriteFile(folder + "/t.texture.txt", "Primary=t.bmp\r\n"));
    EXPECT_TRUE(texturetest::WritePicture(folder + "/t.bmp", kSide, kSide, Picture(false)));
    return folder;
  }

  // The installed copy's compiled texture (a commit moves the copy it
  // replaces to the folder's name with "~" appended, and back).
  static std::string InstalledTexture(const std::string& keyword) {
    const std::string folder = UserDataPath() + "/local/" + keyword;
    return (fs::exists(folder) ? folder : folder + "~") + "/t.texture";
  }

  // Sets the time of `path` an hour before that of `than`.
  static void Backdate(const std::string& path, const std::string& than) {
    fs::last_write_time(path, fs::last_write_time(than) - std::chrono::hours(1));
  }

  static texturetest::CompiledTexture Compiled(const std::string& path) {
    texturetest::CompiledTexture texture;
    EXPECT_EQ(texturetest::ReadCompiledTexture(path, &texture), "") << path;
    return texture;
  }

  // Whether the top level of the compiled texture at `path` shows the
  // picture (`inverted` or not).
  static bool Shows(const std::string& path, bool inverted) {
    const texturetest::CompiledTexture texture = Compiled(path);
    if (texture.images.empty()) return false;
    const std::vector<uint8_t> top = texturetest::DecodeLevel(texture.images[0][0], texture.target);
    return texturetest::Psnr(top, Picture(inverted), 3) > 30;
  }
};

// A picture, then a texture source, written into the edit copy dated
// earlier than the installed compiled texture.
TEST_F(CompiledTextureSources, AnInputDatedEarlierIsCompiledAtTheCommit) {
  const std::string kuid = "<kuid:30520:1>";
  Succeed({"installfrompath", AssetFolder(kuid)});
  ASSERT_TRUE(Shows(InstalledTexture("kuid 30520 1"), false));
  const std::string picture = "t.bmp";
  for (const std::string& input : {picture, std::string("t.texture.txt")}) {
    SCOPED_TRACE(input);
    const ToolResult opened = Succeed({"edit", kuid});
    const std::string head = "+ " + kuid + " : ";
    const std::string file =
        opened.out.substr(head.size(), opened.out.find('\n') - head.size()) + "/" + input;
    ASSERT_TRUE(input == picture ? texturetest::WritePicture(file, kSide, kSide, Picture(true))
                                 : WriteFile(file, "Primary=t.bmp\r\nTile=none\r\n"));
    Backdate(file, InstalledTexture("kuid 30520 1"));
    const ToolResult committed = Succeed({"commit", kuid});
    EXPECT_NE(committed.out.find("The asset was committed."), std::string::npos) << committed.out;
    EXPECT_EQ(Succeed({"validate", kuid}).out, kOk);
    EXPECT_TRUE(Shows(InstalledTexture("kuid 30520 1"), true));
    EXPECT_EQ(Compiled(InstalledTexture("kuid 30520 1")).flags, input == picture ? 3u : 0u);
  }
}

// A folder whose picture was replaced after "compresstexture" by one dated
// earlier than the compiled texture.
TEST_F(CompiledTextureSources, AFolderWithAPictureDatedEarlierIsCompiledAtItsInstall) {
  const std::string folder = AssetFolder("<kuid:30520:2>");
  ASSERT_EQ(Run({"compresstexture", folder}).status, 0);
  ASSERT_TRUE(Shows(folder + "/t.texture", false));
  ASSERT_TRUE(texturetest::WritePicture(folder + "/t.bmp", kSide, kSide, Picture(true)));
  Backdate(folder + "/t.bmp", folder + "/t.texture");
  Succeed({"installfrompath", folder});
  EXPECT_TRUE(Shows(InstalledTexture("kuid 30520 2"), true));
  EXPECT_EQ(Succeed({"validate", "<kuid:30520:2>"}).out, kOk);
}

}  // namespace
