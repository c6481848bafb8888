// Which entries of an asset folder every command refuses: links that lead
// out of the folder (however they get there) and pipes; links that stay
// inside, and the folder reached through a link of its own, are fine.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/layout/AssetFolderEntries.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

class AssetFolderEntriesTest : public VUTest::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    Put("asset/config.txt", "kuid <kuid:1:1>\n");
    Put("asset/sub/mesh.im", "mesh");
    Put("asset-twin/secret.txt", "secret");  // Shares the asset folder's name as a prefix.
    Put("outside.txt", "secret");
  }
  void Link(const std::string& target, const std::string& relative) {
    fs::create_symlink(target, At(relative));
  }
};

TEST_F(AssetFolderEntriesTest, LinksAreJudgedByWhereTheyFinallyLead) {
  const struct {
    const char* name;
    std::string target;
    bool leadsOut;
  } cases[] = {
      {"inside.txt", "config.txt", false},
      {"deeper.txt", "sub/mesh.im", false},
      {"sub/up.txt", "../config.txt", false},
      {"absolute-inside.txt", At("asset/config.txt"), false},
      {"out.txt", At("outside.txt"), true},
      {"dotdot.txt", "../outside.txt", true},
      {"twin.txt", "../asset-twin/secret.txt", true},
      {"chain.txt", "out.txt", true},  // Inside, but on to a link that leads out.
      {"dangling.txt", "no-such-file", false},
      {"folder-out", At("asset-twin"), true},
      {"folder-in", "sub", false},
  };
  for (const auto& c : cases) Link(c.target, std::string("asset/") + c.name);
  for (const auto& c : cases) {
    EXPECT_EQ(LeadsOutOfFolder(At("asset"), At(std::string("asset/") + c.name)), c.leadsOut)
        << c.name;
  }
  EXPECT_FALSE(LeadsOutOfFolder(At("asset"), At("asset/config.txt")));  // Not a link.

  // The folder named through a link of its own, and the search of a tree.
  Link(At("asset"), "alias");
  EXPECT_FALSE(LeadsOutOfFolder(At("alias"), At("asset/inside.txt")));
  EXPECT_TRUE(LeadsOutOfFolder(At("alias"), At("asset/out.txt")));
  std::vector<std::string> refused = RefusedFolderEntries(At("alias"));
  std::sort(refused.begin(), refused.end());
  std::vector<std::string> expected;
  for (const auto& c : cases)
    if (c.leadsOut) expected.push_back(LinkLeavesFolderText(At("alias/") + c.name));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(refused, expected);
}

TEST_F(AssetFolderEntriesTest, PipesAreRefusedAndPlainTreesGiveNothing) {
  EXPECT_TRUE(RefusedFolderEntries(At("asset")).empty());
  std::vector<std::string> names = {"stale"};
  EXPECT_TRUE(RefusedFolderEntries(At("no-such-folder"), &names).empty());
  EXPECT_TRUE(names.empty());
  // The names are those of the folder's own entries, not of those below.
  RefusedFolderEntries(At("asset"), &names);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"config.txt", "sub"}));
  ASSERT_EQ(::mkfifo(At("asset/sub/pipe.im").c_str(), 0600), 0);
  Link("pipe.im", "asset/sub/to-pipe.im");
  std::vector<std::string> refused = RefusedFolderEntries(At("asset"));
  std::sort(refused.begin(), refused.end());
  EXPECT_EQ(refused, (std::vector<std::string>{SpecialFileText(At("asset/sub/pipe.im")),
                                               SpecialFileText(At("asset/sub/to-pipe.im"))}));
}

// The search looks kMaxEntrySearchDepth folders down and no deeper: a pipe
// in the deepest folder it lists is named, one a level below is not (a
// confined read refuses that one as it is met).
TEST_F(AssetFolderEntriesTest, PipesAreNamedDownToTheSearchDepthAndNoDeeper) {
  std::string deepest;
  for (uint32_t level = 0; level < kMaxEntrySearchDepth; ++level) deepest += "d/";
  for (const std::string& folder : {"at/" + deepest, "past/" + deepest + "d/"}) {
    fs::create_directories(At(folder));
    ASSERT_EQ(::mkfifo(At(folder + "pipe.im").c_str(), 0600), 0);
  }
  EXPECT_EQ(RefusedFolderEntries(At("at")),
            std::vector<std::string>{SpecialFileText(At("at/" + deepest + "pipe.im"))});
  EXPECT_TRUE(RefusedFolderEntries(At("past")).empty());
}

}  // namespace
