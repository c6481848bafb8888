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
#include "render/textures/CompressAsciiResource.h"
#include "render/textures/TextureConversion.h"
#include "render/textures/TextureJobBudget.h"
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

// Each failure keeps its message (naming the source by its temporary name)
// and adds a line naming the user's source and why.
TEST_F(TextureConversionTest, FailuresAreReportedAndSourcesKeepTheirNames) {
  struct Case {
    const char* description;
    bool outputIsFolder;
    const char* message;
    const char* reason;  // null: no reason line
  };
  const Case cases[] = {
      {"Primary=missing.png\n", false, "$vadtexture_lock_error",
       "the primary picture 'missing.png' cannot be read: cannot read the file."},
      {"Primary=damaged.png\n", false, "$vadtexture_lock_error",
       "the primary picture 'damaged.png' cannot be read: "},
      {"Primary=a.png\nHint=dxt9\n", false, "$vadtexture_load_error",
       "line 2 of the description cannot be read: 'Hint=dxt9'."},
      {"Primary=a.png\n", true, "Unable to write output file '", nullptr},
  };
  for (const Case& c : cases) {
    fs::remove_all(At("tex"));
    log_.Assign(*std::make_unique<ResultsLog>());
    Picture("tex/a.png", 16, 16);
    Put("tex/damaged.png", "\x89PNG\r\n\x1a\nnot a picture after all");
    Put("tex/e.texture.txt", c.description);
    if (c.outputIsFolder) fs::create_directories(At("tex/e.texture/inside"));
    if (!c.outputIsFolder) Put("tex/e.texture", "an older output");
    EXPECT_EQ(Convert("tex"), 0u) << c.description;
    const std::vector<std::string> texts = Texts();
    ASSERT_EQ(texts.size(), c.reason != nullptr ? 2u : 1u)
        << c.description << ::testing::PrintToString(texts);
    EXPECT_NE(texts[0].find(c.message), std::string::npos) << texts[0];
    if (c.reason != nullptr) {
      EXPECT_EQ(texts[1].rfind("The texture source '" + At("tex/e.texture.txt") +
                                   "' was not converted: " + c.reason,
                               0),
                0u)
          << texts[1];
      EXPECT_EQ(log_.Messages()[1].severity, ResultsLog::kInformation);
    }
    EXPECT_EQ(Get("tex/e.texture.txt"), c.description);
    EXPECT_FALSE(fs::exists(At("tex/e.convert-tex.txt")));
    EXPECT_EQ(fs::is_directory(At("tex/e.texture")), c.outputIsFolder)
        << "an older output is deleted";
  }
}

// A PNG header with the given size and nothing after it: what a picture
// bomb looks like to a reader of headers.
std::string PngHeader(uint32_t width, uint32_t height) {
  std::string png = "\x89PNG\r\n\x1a\n";
  const auto u32 = [&png](uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) png += char((value >> shift) & 0xFF);
  };
  u32(13);
  png += "IHDR";
  u32(width);
  u32(height);
  png += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA
  u32(0);                                         // CRC, not checked by readers of size
  return png;
}

// A picture declaring more than 8192 pixels a side is refused from its
// header, before anything is decoded; one larger than the texture but
// within the bound is scaled down as before.
TEST_F(TextureConversionTest, PictureAbove8192PixelsASideIsRefusedFromItsHeader) {
  const struct {
    uint32_t width;
    uint32_t height;
  } refused[] = {{16384, 16384}, {8193, 4}, {4, 8193}};
  for (const auto& r : refused) {
    SCOPED_TRACE(std::to_string(r.width) + "x" + std::to_string(r.height));
    fs::remove_all(At("tex"));
    log_.Assign(*std::make_unique<ResultsLog>());
    Put("tex/bomb.png", PngHeader(r.width, r.height));
    Put("tex/bomb.texture.txt", "Primary=bomb.png\n");
    EXPECT_EQ(Convert("tex"), 0u);
    const std::vector<std::string> texts = Texts();
    ASSERT_EQ(texts.size(), 2u) << ::testing::PrintToString(texts);
    EXPECT_NE(texts[1].find("cannot be read: it declares " + std::to_string(r.width) + "x" +
                            std::to_string(r.height) + " pixels, more than 8192x8192."),
              std::string::npos)
        << texts[1];
  }
  fs::remove_all(At("tex"));
  log_.Assign(*std::make_unique<ResultsLog>());
  Picture("tex/wide.png", 4096, 8);
  Put("tex/wide.texture.txt", "Primary=wide.png\n");
  EXPECT_EQ(Convert("tex"), 2u) << ::testing::PrintToString(Texts());
  texturetest::CompiledTexture texture;
  ASSERT_EQ(texturetest::ReadCompiledTexture(At("tex/wide.texture"), &texture), "");
}

// Jobs start only while the pictures of the running ones stay within the
// budget; a job alone always runs, so a budget smaller than any job still
// converts everything, one at a time.
TEST(TextureJobBudget, AdmitsJobsWhileTheRunningOnesStayWithinTheLimit) {
  TextureJobBudget budget(100);
  EXPECT_TRUE(budget.Admits(500));  // Alone: always.
  budget.Start(60);
  EXPECT_TRUE(budget.Admits(40));
  EXPECT_FALSE(budget.Admits(41));
  budget.Start(40);
  EXPECT_FALSE(budget.Admits(1));
  EXPECT_TRUE(budget.Admits(0));
  budget.Finish(60);
  EXPECT_EQ(budget.InUse(), 40u);
  EXPECT_TRUE(budget.Admits(60));
  budget.Finish(40);
  EXPECT_TRUE(budget.Admits(500));
}

TEST_F(TextureConversionTest, BudgetSmallerThanOneJobStillConvertsEverySource) {
  for (const char* name : {"a", "b", "c"}) {
    Picture(std::string("tex/") + name + ".png", 32, 32);
    Put(std::string("tex/") + name + ".texture.txt", std::string("Primary=") + name + ".png\n");
  }
  EXPECT_EQ(CompressAsciiResource::DeclaredPictureBytes(At("tex/a.texture.txt").c_str()),
            32u * 32u * 4u);
  EXPECT_EQ(ConvertTexturesInFolder(Kiv::PString(), Kiv::File::Path(At("tex")), log_, nullptr, 1),
            2u)
      << ::testing::PrintToString(Texts());
  for (const char* name : {"a", "b", "c"})
    EXPECT_EQ(Target(std::string("tex/") + name + ".texture"), 3u) << name;
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
