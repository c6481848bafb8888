// A compiled texture is used only while its sources are the ones it was
// compiled from, end to end: a picture or source replaced by one dated
// earlier than the compiled texture (as `cp -p`, an unpacked archive or
// `rsync -t` leave it) is compiled at the commit and at the install from a
// folder, and an unchanged one is kept as it is.
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
  if (!inverted) return rgba;
  for (size_t i = 0; i < rgba.size(); ++i)
    if (i % 4 != 3) rgba[i] = uint8_t(255 - rgba[i]);
  return rgba;
}

// An alpha picture (its first channel is the alpha): white, an opaque
// alpha; else the graded picture, a blended one.
std::vector<uint8_t> AlphaPicture(bool white) {
  return white ? std::vector<uint8_t>(size_t(kSide) * kSide * 4, 255) : Picture(false);
}

class CompiledTextureSources : public ToolFixture {
 protected:
  static ToolResult Succeed(const std::vector<std::string>& args) {
    const ToolResult r = Run(args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return r;
  }

  // A texture asset folder: "t.texture.txt" holding `source`, picture
  // "t.bmp" (`inverted` or not) and the white alpha picture "ta.bmp".
  static std::string AssetFolder(const std::string& kuid, const std::string& source,
                                 bool inverted) {
    const std::string folder = MakeTempFolder() + "/asset";
    fs::create_directories(folder);
    EXPECT_TRUE(WriteFile(folder + "/config.txt",
                          "kuid " + kuid +
                              "\nusername \"Board\"\nkind \"texture\"\nvandru-build 3.4\n"
                              "texture \"t.texture\"\n"));
    EXPECT_TRUE(WriteFile(folder + "/t.texture.txt", source));
    EXPECT_TRUE(texturetest::WritePicture(folder + "/t.bmp", kSide, kSide, Picture(inverted)));
    EXPECT_TRUE(texturetest::WritePicture(folder + "/ta.bmp", kSide, kSide, AlphaPicture(true)));
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

// Each input of the compiled texture, replaced in the edit copy by one
// dated earlier than the installed texture, is compiled at the commit; a
// commit without change keeps the compiled texture as it is.
TEST_F(CompiledTextureSources, AnInputDatedEarlierIsCompiledAtTheCommit) {
  const std::string kuid = "<kuid:30520:1>";
  ASSERT_EQ(Succeed({"installfrompath", AssetFolder(kuid, "Primary=t.bmp\r\n", false)}).status, 0);
  ASSERT_TRUE(Shows(InstalledTexture("kuid 30520 1"), false));
  ASSERT_EQ(Compiled(InstalledTexture("kuid 30520 1")).target, 10u);

  struct Step {
    const char* what;
    std::vector<std::pair<std::string, std::string>> texts;  // file, text
    bool inverted;                                           // the t.bmp written
    bool picture;                                            // t.bmp written
    uint32_t target;
    uint32_t flags;
  };
  const Step steps[] = {
      {"the primary picture", {}, true, true, 10, 3},
      {"the source", {{"t.texture.txt", "Primary=t.bmp\r\nTile=none\r\n"}}, true, false, 10, 0},
      {"the alpha picture named anew",
       {{"t.texture.txt", "Primary=t.bmp\r\nTile=none\r\nAlpha=ta.bmp\r\n"}},
       true,
       false,
       10,
       0},
      {"the alpha picture", {}, true, false, 12, 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const ToolResult opened = Succeed({"edit", kuid});
    const std::string head = "+ " + kuid + " : ";
    const std::string folder = opened.out.substr(head.size(), opened.out.find('\n') - head.size());
    const std::string compiled = InstalledTexture("kuid 30520 1");
    for (const auto& [name, text] : step.texts) {
      ASSERT_TRUE(WriteFile(folder + "/" + name, text));
      Backdate(folder + "/" + name, compiled);
    }
    if (step.picture) {
      ASSERT_TRUE(
          texturetest::WritePicture(folder + "/t.bmp", kSide, kSide, Picture(step.inverted)));
      Backdate(folder + "/t.bmp", compiled);
    }
    if (step.target == 12) {
      ASSERT_TRUE(texturetest::WritePicture(folder + "/ta.bmp", kSide, kSide, AlphaPicture(false)));
      Backdate(folder + "/ta.bmp", compiled);
    }
    const ToolResult committed = Succeed({"commit", kuid});
    EXPECT_NE(committed.out.find("The asset was committed."), std::string::npos) << committed.out;
    EXPECT_EQ(Succeed({"validate", kuid}).out, kOk);
    const std::string now = InstalledTexture("kuid 30520 1");
    EXPECT_TRUE(Shows(now, step.inverted));
    EXPECT_EQ(Compiled(now).target, step.target);
    EXPECT_EQ(Compiled(now).flags, step.flags);
  }

  // Nothing changed: the compiled texture is not made again (a level byte
  // changed by hand stays).
  const ToolResult opened = Succeed({"edit", kuid});
  const std::string head = "+ " + kuid + " : ";
  const std::string folder = opened.out.substr(head.size(), opened.out.find('\n') - head.size());
  std::string bytes = ReadFile(folder + "/t.texture");
  const size_t level = bytes.find("texture sources 1") - 1;
  bytes[level] = char(bytes[level] ^ 0x5A);
  ASSERT_TRUE(WriteFile(folder + "/t.texture", bytes));
  Succeed({"commit", kuid});
  EXPECT_EQ(ReadFile(InstalledTexture("kuid 30520 1")), bytes);
}

// A folder whose picture was replaced after "compresstexture" by one dated
// earlier than the compiled texture is compiled at its install; so is a
// compiled texture without a record of its sources (an older build's).
TEST_F(CompiledTextureSources, AFolderWithAPictureDatedEarlierIsCompiledAtItsInstall) {
  const std::string folder = AssetFolder("<kuid:30520:2>", "Primary=t.bmp\r\n", false);
  ASSERT_EQ(Run({"compresstexture", folder}).status, 0);
  const std::string compiled = folder + "/t.texture";
  ASSERT_TRUE(Shows(compiled, false));
  ASSERT_TRUE(texturetest::WritePicture(folder + "/t.bmp", kSide, kSide, Picture(true)));
  Backdate(folder + "/t.bmp", compiled);
  Succeed({"installfrompath", folder});
  EXPECT_TRUE(Shows(InstalledTexture("kuid 30520 2"), true));
  EXPECT_EQ(Succeed({"validate", "<kuid:30520:2>"}).out, kOk);

  // The compiled texture of the first picture without its record, newer
  // than the picture, from a build that wrote none.
  const std::string old = AssetFolder("<kuid:30520:3>", "Primary=t.bmp\r\n", false);
  ASSERT_EQ(Run({"compresstexture", old}).status, 0);
  std::string bytes = ReadFile(old + "/t.texture");
  bytes.resize(bytes.find("texture sources 1"));
  const uint32_t size = uint32_t(bytes.size() - 8);
  for (int i = 0; i < 4; ++i) bytes[4 + i] = char(size >> (8 * i));
  ASSERT_TRUE(WriteFile(old + "/t.texture", bytes));
  ASSERT_TRUE(texturetest::WritePicture(old + "/t.bmp", kSide, kSide, Picture(true)));
  Backdate(old + "/t.bmp", old + "/t.texture");
  Succeed({"installfrompath", old});
  EXPECT_TRUE(Shows(InstalledTexture("kuid 30520 3"), true));
}

}  // namespace
