// Commands of the built tool reading an asset folder while another thread
// keeps swapping one of its entries between a plain file, a link inside
// the folder and a link to a private file outside it: install, export,
// validation and texture conversion never open the outside file, and
// nothing of it reaches the store or an archive. Each command runs many
// times from one batch file; the in-process test of the copy
// (FolderTreeRaceTest) makes thousands of copies.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/cli/ToolFixture.h"
#include "tests/support/LinkFlipper.h"
#include "tests/support/TextureTestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSecret[] = "root:x:0:0:private line\n";
constexpr int kInstalls = 100;
constexpr int kRuns = 30;

class SwappedLink : public ToolFixture {
 protected:
  // An asset folder of kind scenery under a fresh folder.
  static std::string MakeAsset(const std::string& kuid) {
    const std::string folder = MakeTempFolder() + "/asset";
    fs::create_directories(folder);
    EXPECT_TRUE(WriteFile(folder + "/config.txt",
                          "kuid " + kuid +
                              "\nusername \"Crate\"\nkind \"scenery\"\nvandru-build 3.4\n"
                              "category-class \"BA\"\n"));
    EXPECT_TRUE(WriteFile(folder + "/body.txt", "body\n"));
    return folder;
  }

  // Runs `line` `runs` times from one batch file; the run's result.
  static ToolResult RunMany(const std::string& line, int runs = kRuns) {
    const std::string batch = MakeTempFolder() + "/batch.txt";
    std::string text;
    for (int i = 0; i < runs; ++i) text += line + "\n";
    EXPECT_TRUE(WriteFile(batch, text));
    return Run({"@" + batch});
  }

  // True when some plain file below `folder` holds the secret's text.
  static bool HoldsSecret(const std::string& folder) {
    std::error_code error;
    for (const auto& item : fs::recursive_directory_iterator(folder, error)) {
      if (fs::is_regular_file(item.symlink_status(error)) &&
          ReadFile(item.path()).find("private line") != std::string::npos)
        return true;
    }
    return false;
  }

  void SetUp() override {
    secret_ = MakeTempFolder() + "/passwd";
    ASSERT_TRUE(WriteFile(secret_, kSecret));
  }

  // Flips `entry` (inside: a link to body.txt; plain: a copy of `plain`).
  std::unique_ptr<VUTest::LinkFlipper> Flip(const std::string& entry, const std::string& plain) {
    const std::string kept = MakeTempFolder() + "/plain";
    fs::copy_file(plain, kept);
    return std::make_unique<VUTest::LinkFlipper>(entry, "body.txt", secret_, kept,
                                                 MakeTempFolder());
  }

  std::string secret_;
};

TEST_F(SwappedLink, InstallsNeverCarryTheOutsideFile) {
  const std::string source = MakeAsset("<kuid:123:760001>");
  VUTest::OpenWatch watch(secret_);
  ASSERT_TRUE(watch.Watching());
  ToolResult r;
  {
    auto flipper = Flip(source + "/link.txt", source + "/body.txt");
    r = RunMany("installfrompath \"" + source + "\"", kInstalls);
  }
  EXPECT_NE(r.out.find("Installed <kuid:123:760001>"), std::string::npos) << r.out;
  EXPECT_FALSE(watch.Opened()) << r.out;
  EXPECT_FALSE(HoldsSecret(UserDataPath())) << r.out;
}

TEST_F(SwappedLink, ExportValidationAndConversionNeverReadTheOutsideFile) {
  const std::string source = MakeAsset("<kuid:123:760002>");
  ToolResult r = Run({"installfrompath", source});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string installed = UserDataPath() + "/local/kuid 123 760002";
  const std::string archives = MakeTempFolder();
  const std::string pictures = MakeTempFolder() + "/tex";
  fs::create_directories(pictures);
  ASSERT_TRUE(texturetest::WritePicture(pictures + "/body.png", 64, 64,
                                        texturetest::SmoothPicture(64, 64, false)));
  fs::rename(pictures + "/body.png", pictures + "/body.txt");  // Read by its content.
  ASSERT_TRUE(WriteFile(pictures + "/a.texture.txt", "Primary=link.png\r\n"));
  VUTest::OpenWatch watch(secret_);
  ASSERT_TRUE(watch.Watching());
  {
    auto flipper = Flip(installed + "/body.txt", source + "/body.txt");
    r = RunMany("createcdp \"" + archives + "/out.cdp\" <kuid:123:760002>");
  }
  EXPECT_FALSE(watch.Opened()) << "createcdp\n" << r.out;
  EXPECT_TRUE(fs::exists(archives + "/out.cdp")) << r.out;
  {
    auto flipper = Flip(installed + "/config.txt", source + "/config.txt");
    r = RunMany("validate <kuid:123:760002>");
  }
  EXPECT_FALSE(watch.Opened()) << "validate\n" << r.out;
  {
    auto flipper = Flip(pictures + "/link.png", pictures + "/body.txt");
    r = RunMany("compresstexture \"" + pictures + "\"");
  }
  EXPECT_FALSE(watch.Opened()) << "compresstexture\n" << r.out;
  EXPECT_FALSE(HoldsSecret(pictures)) << r.out;
}

}  // namespace
