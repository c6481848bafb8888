// Which configuration file of an asset folder is read: config.chump before
// config.txt, in any letter case, never a link leading nowhere, and the same
// answer as looking each name up on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/layout/AssetConfigFile.h"
#include "foundation/layout/AssetFolderEntries.h"
#include "kiv/File.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

class AssetConfigFileTest : public VUTest::TempFolderTest {};

// The answer of looking each name up through the case-resolving file calls.
std::string LookedUpOneByOne(const std::string& folder) {
  for (const char* candidate : {"config.chump", "config.txt"}) {
    Kiv::File::Path path(folder);
    path.AddPath(candidate);
    if (Kiv::File::Exists(path.Str())) return candidate;
  }
  return std::string();
}

TEST_F(AssetConfigFileTest, ChumpComesFirstInAnyCaseAndDanglingLinksDoNotCount) {
  const struct {
    const char* label;
    std::vector<std::string> files;
    std::vector<std::string> danglingLinks;
    std::vector<std::string> folders;
    const char* expected;
  } cases[] = {
      {"text only", {"config.txt"}, {}, {}, "config.txt"},
      {"chump only", {"config.chump"}, {}, {}, "config.chump"},
      {"both", {"config.chump", "config.txt"}, {}, {}, "config.chump"},
      {"chump in other case", {"Config.Chump", "config.txt"}, {}, {}, "config.chump"},
      {"text in other case", {"CONFIG.TXT"}, {}, {}, "config.txt"},
      {"neither", {"mesh.im"}, {}, {}, ""},
      {"empty folder", {}, {}, {}, ""},
      {"dangling chump", {"config.txt"}, {"config.chump"}, {}, "config.txt"},
      // An exact entry leading nowhere hides the other spellings.
      {"dangling hides other case", {"CONFIG.CHUMP", "config.txt"}, {"config.chump"}, {},
       "config.txt"},
      {"dangling other case, live other case",
       {"Config.chump"},
       {"CONFIG.CHUMP"},
       {},
       "config.chump"},
      {"nothing viewable", {}, {"config.chump", "Config.Txt"}, {}, ""},
      {"folder named like the file", {"config.txt"}, {}, {"config.chump"}, "config.chump"},
  };
  int index = 0;
  for (const auto& c : cases) {
    const std::string relative = "asset" + std::to_string(index++);
    ASSERT_TRUE(fs::create_directories(At(relative)));
    for (const std::string& file : c.files) Put(relative + "/" + file, "kuid <kuid:1:1>\n");
    for (const std::string& link : c.danglingLinks)
      fs::create_symlink("no-such-file", At(relative + "/" + link));
    for (const std::string& folder : c.folders) fs::create_directories(At(relative + "/" + folder));

    Kiv::PString name("untouched");
    const std::string path = FindAssetConfigFile(At(relative), &name);
    const std::string expected = c.expected;
    if (expected.empty()) {
      EXPECT_TRUE(path.empty()) << c.label;
      EXPECT_EQ(name.Str(), "untouched") << c.label;
    } else {
      EXPECT_EQ(path, At(relative + "/" + expected)) << c.label;
      EXPECT_EQ(name.Str(), expected) << c.label;
    }
    EXPECT_EQ(name.Str() == "untouched" ? std::string() : name.Str(), LookedUpOneByOne(At(relative)))
        << c.label;

    // The listing the entry search made gives the same answer.
    std::vector<std::string> entries;
    RefusedFolderEntries(At(relative), &entries);
    Kiv::PString listedName("untouched");
    EXPECT_EQ(FindAssetConfigFile(At(relative), &listedName, &entries), path) << c.label;
    EXPECT_EQ(listedName.Str(), name.Str()) << c.label;
  }
}

TEST_F(AssetConfigFileTest, FolderGivenInOtherCaseIsStillSearched) {
  Put("Asset/config.txt", "kuid <kuid:1:1>\n");
  Kiv::PString name;
  EXPECT_EQ(FindAssetConfigFile(At("asset"), &name), At("asset/config.txt"));
  EXPECT_EQ(name.Str(), "config.txt");
  EXPECT_TRUE(FindAssetConfigFile(At("no-such-folder"), &name).empty());
}

TEST_F(AssetConfigFileTest, FileAddedBetweenCallsIsSeen) {
  Put("asset/config.txt", "kuid <kuid:1:1>\n");
  Kiv::PString name;
  EXPECT_EQ(FindAssetConfigFile(At("asset"), &name), At("asset/config.txt"));
  // A listing taken before the file came misses it; a fresh one sees it.
  std::vector<std::string> entries;
  RefusedFolderEntries(At("asset"), &entries);
  Put("asset/CONFIG.chump", "chump");
  EXPECT_EQ(FindAssetConfigFile(At("asset"), &name, &entries), At("asset/config.txt"));
  RefusedFolderEntries(At("asset"), &entries);
  EXPECT_EQ(FindAssetConfigFile(At("asset"), &name, &entries), At("asset/config.chump"));
  EXPECT_EQ(FindAssetConfigFile(At("asset"), &name), At("asset/config.chump"));
  EXPECT_EQ(name.Str(), "config.chump");
  fs::remove(At("asset/CONFIG.chump"));
  EXPECT_EQ(FindAssetConfigFile(At("asset"), &name), At("asset/config.txt"));
  // So is one of the exact spelling: a name the listing lacks is not looked at.
  RefusedFolderEntries(At("asset"), &entries);
  Put("asset/config.chump", "chump");
  EXPECT_EQ(FindAssetConfigFile(At("asset"), &name, &entries), At("asset/config.txt"));
  EXPECT_EQ(FindAssetConfigFile(At("asset"), &name), At("asset/config.chump"));
}

}  // namespace
