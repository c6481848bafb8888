// Texture conversion of folder trees in the test's own process: results,
// messages, the names of the sources, and the outputs. No interface text is
// installed in the test's roots, so a "$" tag stands for its text.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/threads/WorkerThread.h"
#include "render/textures/TextureConversion.h"
#include "tests/support/LayoutTestRoot.h"
#include "tests/support/TextureTestSupport.h"

namespace {

namespace fs = std::filesystem;

class TextureConversionTest : public LayoutTestRoot {
 protected:
  void Picture(const std::string& relative, int width, int height, bool alpha = false) {
    fs::create_directories(fs::path(At(relative)).parent_path());
    ASSERT_TRUE(texturetest::WritePicture(At(relative), width, height,
                                          texturetest::SmoothPicture(width, height, alpha)));
  }

  uint32_t Convert(const std::string& folder, WorkerThread* queue = nullptr) {
    return ConvertTexturesInFolder(Kiv::PString(), Kiv::File::Path(At(folder)), log_, queue);
  }

  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const ResultMessage& message : log_.Messages()) texts.push_back(message.text);
    return texts;
  }

  uint32_t Target(const std::string& relative) {
    texturetest::CompiledTexture texture;
    const std::string error = texturetest::ReadCompiledTexture(At(relative), &texture);
    EXPECT_EQ(error, "") << relative;
    return error.empty() ? texture.target : 0;
  }

  ResultsLog log_;
};

TEST_F(TextureConversionTest, ConvertsEverySourceAndGivesNamesBack) {
  Picture("tex/a.png", 64, 64);
  Picture("tex/b.png", 64, 64, true);
  Picture("tex/sub/c.png", 66, 64);
  Put("tex/a.texture.txt", "Primary=a.png\n");
  Put("tex/b.texture.txt", "Primary=b.png\nAlpha=b.png\n");
  Put("tex/sub/c.texture.txt", "Primary=c.png\n");
  Put("tex/X.TEXTURE.TXT", "Primary=a.png\n");
  Put("tex/a.texture", "an older output");
  Put("tex/mytexture.txt", "not a source: no dot before texture");
  Put("tex/mytexture", "a file of the user's");
  ASSERT_EQ(Convert("tex"), 2u) << ::testing::PrintToString(Texts());
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(Target("tex/a.texture"), 10u);
  EXPECT_EQ(Target("tex/b.texture"), 12u);
  EXPECT_EQ(Target("tex/sub/c.texture"), 3u);
  EXPECT_EQ(Target("tex/X.TEXTURE"), 10u);
  for (const char* source :
       {"tex/a.texture.txt", "tex/b.texture.txt", "tex/sub/c.texture.txt", "tex/X.TEXTURE.TXT"})
    EXPECT_TRUE(fs::exists(At(source))) << source;
  EXPECT_EQ(Get("tex/mytexture"), "a file of the user's");
  for (const auto& entry : fs::recursive_directory_iterator(At("tex")))
    EXPECT_EQ(entry.path().string().find("convert-tex"), std::string::npos) << entry.path();
}

TEST_F(TextureConversionTest, FolderWithoutSourcesGivesTwoAndNoMessage) {
  Put("empty/readme.txt", "nothing here");
  fs::create_directories(At("empty/deeper"));
  EXPECT_EQ(Convert("empty"), 2u);
  EXPECT_TRUE(Texts().empty());
}

TEST_F(TextureConversionTest, FailuresAreReportedAndSourcesKeepTheirNames) {
  struct Case {
    const char* description;
    bool outputIsFolder;
    const char* message;
  };
  const Case cases[] = {
      {"Primary=missing.png\n", false, "$vadtexture_lock_error"},
      {"Primary=a.png\nHint=dxt9\n", false, "$vadtexture_load_error"},
      {"Primary=a.png\n", true, "Unable to write output file '"},
  };
  for (const Case& c : cases) {
    fs::remove_all(At("tex"));
    log_.Assign(*std::make_unique<ResultsLog>());
    Picture("tex/a.png", 16, 16);
    Put("tex/e.texture.txt", c.description);
    if (c.outputIsFolder) fs::create_directories(At("tex/e.texture/inside"));
    if (!c.outputIsFolder) Put("tex/e.texture", "an older output");
    EXPECT_EQ(Convert("tex"), 0u) << c.description;
    const std::vector<std::string> texts = Texts();
    ASSERT_EQ(texts.size(), 1u) << c.description;
    EXPECT_NE(texts[0].find(c.message), std::string::npos) << texts[0];
    EXPECT_EQ(Get("tex/e.texture.txt"), c.description);
    EXPECT_FALSE(fs::exists(At("tex/e.convert-tex.txt")));
    EXPECT_EQ(fs::is_directory(At("tex/e.texture")), c.outputIsFolder)
        << "an older output is deleted";
  }
}

TEST_F(TextureConversionTest, UnsearchableFolderGivesZero) {
  EXPECT_EQ(Convert("no-such-folder"), 0u);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_EQ(Texts()[0], "Unable to search path: '" + At("no-such-folder") + "'");
}

TEST_F(TextureConversionTest, DroppedJobsGiveOneAndSourcesKeepTheirNames) {
  Picture("tex/a.png", 16, 16);
  Put("tex/a.texture.txt", "Primary=a.png\n");
  Put("tex/b.texture.txt", "Primary=a.png\n");
  WorkerThread stopped;
  stopped.Stop();
  EXPECT_EQ(Convert("tex", &stopped), 1u);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_EQ(Texts()[0],
            GetInterfaceText("$vad_texture_compress_err") + " (" + At("tex/a.texture.txt") + ")");
  EXPECT_TRUE(fs::exists(At("tex/a.texture.txt")));
  EXPECT_TRUE(fs::exists(At("tex/b.texture.txt")));
  EXPECT_FALSE(fs::exists(At("tex/a.convert-tex.txt")));
}

TEST_F(TextureConversionTest, SourcesInAContentLocationAreConverted) {
  StartLayout();
  Picture("UserData/local/tex/a.png", 16, 16);
  Put("UserData/local/tex/a.texture.txt", "Primary=a.png\n");
  EXPECT_EQ(ConvertTexturesInFolder(Kiv::PString("local"), Kiv::File::Path("tex"), log_), 2u)
      << ::testing::PrintToString(Texts());
  EXPECT_EQ(Target("UserData/local/tex/a.texture"), 3u);
  EXPECT_TRUE(fs::exists(At("UserData/local/tex/a.texture.txt")));
  EXPECT_EQ(ConvertTexturesInFolder(Kiv::PString("local"), Kiv::File::Path("../x"), log_), 0u);
}

}  // namespace
