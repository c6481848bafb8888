// An install over an open edit copy, end to end through the installed tool.
// A copy that still holds only what the store put there ("edit", or an
// install that made an archive's files the copy) is replaced with nothing
// set aside, however often; one with a file changed, added or removed is
// kept aside and named, whichever path installs; and an "fcyparse" that
// sets the copy aside and then fails puts it back, still open for edit.
// Each row starts from a fresh root holding one installed asset and an
// archive of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "tests/cli/ToolFixture.h"

namespace {

namespace fs = std::filesystem;

const char kAsset[] = "<kuid:0:500>";
const char kFirst[] = "<kuid:0:501>";  // the entry before it in a two-entry archive
const char kBody[] = "the body as installed\n";
const char kChangedBody[] = "the body as the user\n";  // same size: only its time differs
const char kMine[] = "the user's work\n";
const char kKept[] = "Kept the edit copy ";

enum class By { kInstallFromPath, kInstallCdp, kFcyParse };
enum class Change { kNone, kChanged, kAdded, kRemoved };

struct Scene {
  std::string root;
  std::string source;   // the asset's folder as installed
  std::string archive;  // an archive of it, made by "createcdp"

  ToolResult Run(const std::vector<std::string>& args) const {
    return ToolFixture::RunProgram(root + "/bin/VandruUtil", args, root + "/bin");
  }
  // Opens the asset for edit; its edit folder.
  std::string Edit() const {
    const ToolResult r = Run({"edit", kAsset});
    const size_t at = r.out.find(" : ");
    if (at == std::string::npos) return std::string();
    return r.out.substr(at + 3, r.out.find('\n', at) - at - 3);
  }
  // The folders set aside in UserData/editing.
  std::vector<std::string> SetAside() const {
    std::vector<std::string> aside;
    for (const auto& entry : fs::directory_iterator(root + "/UserData/editing"))
      if (entry.path().filename().string().find(".set-aside-") != std::string::npos)
        aside.push_back(entry.path().string());
    return aside;
  }
};

// An asset folder of kAsset holding `body`.
std::string MakeSource(const std::string& body) {
  const std::string folder = ToolFixture::MakeTempFolder() + "/asset";
  fs::create_directories(folder);
  ToolFixture::WriteFile(
      folder + "/config.txt",
      std::string("kuid ") + kAsset + "\nusername \"Crate\"\nkind \"scenery\"\nvandru-build 3.4\n");
  fs::create_directories(folder + "/sub");
  ToolFixture::WriteFile(folder + "/sub/body.txt", body);
  ToolFixture::WriteFile(folder + "/extra.txt", "one more file\n");
  return folder;
}

ToolResult InstallBy(const Scene& s, By by) {
  if (by == By::kInstallFromPath) return s.Run({"installfrompath", s.source});
  return s.Run({by == By::kInstallCdp ? "installcdp" : "fcyparse", s.archive});
}

void Apply(const std::string& edit, Change change) {
  if (change == Change::kChanged) ToolFixture::WriteFile(edit + "/sub/body.txt", kChangedBody);
  if (change == Change::kAdded) ToolFixture::WriteFile(edit + "/mine.txt", kMine);
  if (change == Change::kRemoved) fs::remove(edit + "/extra.txt");
}

// The folder kept aside holds the user's change.
void ExpectChangeIn(const std::string& aside, Change change) {
  if (change == Change::kChanged) {
    EXPECT_EQ(ToolFixture::ReadFile(aside + "/sub/body.txt"), kChangedBody);
  } else if (change == Change::kAdded) {
    EXPECT_EQ(ToolFixture::ReadFile(aside + "/mine.txt"), kMine);
  } else {
    EXPECT_FALSE(fs::exists(aside + "/extra.txt"));
    EXPECT_TRUE(fs::exists(aside + "/sub/body.txt"));
  }
}

void ExpectNothingSetAside(const Scene& s, const ToolResult& r) {
  EXPECT_EQ(r.out.find(kKept), std::string::npos) << r.out;
  EXPECT_EQ(s.SetAside(), std::vector<std::string>()) << r.out;
}

struct Row {
  const char* name;
  void (*act)(const Row&, Scene&);
  By by = By::kInstallFromPath;
  Change change = Change::kNone;
};

// The copy "edit" made is installed over untouched; with `row.change`
// made in the next copy, that one is kept and named.
void UntouchedThenChanged(const Row& row, Scene& s) {
  s.Edit();
  ExpectNothingSetAside(s, InstallBy(s, row.by));
  if (row.change == Change::kNone) return;
  // After "installcdp" the archive's files are the copy "edit" names.
  const std::string edit = s.Edit();
  Apply(edit, row.change);
  const ToolResult r = InstallBy(s, row.by);
  const std::vector<std::string> aside = s.SetAside();
  ASSERT_EQ(aside.size(), 1u) << r.out;
  EXPECT_NE(r.out.find(kKept + edit + " as " + aside[0] + ": the install replaced it."),
            std::string::npos)
      << r.out;
  ExpectChangeIn(aside[0], row.change);
}

void SameArchiveFiveTimes(const Row&, Scene& s) {
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE("install " + std::to_string(i + 1));
    const ToolResult r = s.Run({"installcdp", s.archive});
    EXPECT_NE(r.out.find("left open for edit"), std::string::npos) << r.out;
    ExpectNothingSetAside(s, r);
  }
}

void VersionBOverTheCopyOfVersionA(const Row&, Scene& s) {
  const std::string versionA = s.source;
  s.source = MakeSource("version B\n");
  const std::string versionB = ToolFixture::MakeTempFolder() + "/b.cdp";
  ASSERT_EQ(s.Run({"installfrompath", s.source}).status, 0);
  ASSERT_EQ(s.Run({"createcdp", versionB, kAsset}).status, 0);
  ASSERT_EQ(s.Run({"installfrompath", versionA}).status, 0);
  ASSERT_EQ(s.Run({"installcdp", s.archive}).status, 0);
  ExpectNothingSetAside(s, s.Run({"installcdp", versionB}));
  EXPECT_EQ(ToolFixture::ReadFile(s.Edit() + "/sub/body.txt"), "version B\n");
}

// The mark of a copy "edit" made outlives a restart of the daemon; a copy
// a start takes into an index made again is the user's from the start.
void RestartedThenTakenIn(const Row&, Scene& s) {
  s.Edit();
  ASSERT_TRUE(ToolFixture::StopDaemonOf(s.root));
  ExpectNothingSetAside(s, InstallBy(s, By::kInstallFromPath));
  const std::string edit = s.Edit();
  ASSERT_TRUE(ToolFixture::StopDaemonOf(s.root));
  ASSERT_TRUE(fs::remove(s.root + "/UserData/assets.tdx"));
  const ToolResult r = InstallBy(s, By::kInstallFromPath);
  const std::vector<std::string> aside = s.SetAside();
  ASSERT_EQ(aside.size(), 1u) << r.out;
  EXPECT_NE(r.out.find(kKept + edit + " as " + aside[0]), std::string::npos) << r.out;
}

// An archive of two entries, kAsset `second` or first, whose second entry
// cannot be unpacked, installed by "fcyparse" over kAsset open for edit
// with the user's file.
void FailedFcyParse(Scene& s, bool second) {
  ASSERT_EQ(ToolFixture::InstallScenery(kFirst, "", {{"body.txt", kBody}}, s.root).status, 0);
  const std::string two = ToolFixture::MakeTempFolder() + "/two.cdp";
  ASSERT_EQ(s.Run({"createcdp", two, second ? kFirst : kAsset, second ? kAsset : kFirst}).status,
            0);
  Soup archive;
  Kiv::PString message;
  CDP::OpenArchive(archive, message, two);
  CDP::GetAssetAt(archive, 1).soup.SetNamedTag(CDP::Tag::Compression(), "no such coding");
  CDP::WriteArchive(archive, message, two);
  ASSERT_TRUE(message.Empty()) << message.c_str();
  const std::string edit = s.Edit();
  ToolFixture::WriteFile(edit + "/userwork.txt", kMine);

  const ToolResult r = s.Run({"fcyparse", two});
  EXPECT_EQ(r.status, 255) << r.out;
  EXPECT_NE(r.out.find("the asset was not installed."), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("replaced"), std::string::npos) << r.out;
  ExpectNothingSetAside(s, r);
  const ToolResult status = s.Run({"status", kAsset});
  EXPECT_NE(status.out.find(std::string("+ ") + kAsset + " : EI"), std::string::npos) << status.out;
  EXPECT_EQ(s.Edit(), edit);
  EXPECT_EQ(ToolFixture::ReadFile(edit + "/userwork.txt"), kMine);
}

const Row kRows[] = {
    {"TheSameArchiveInstalledFiveTimesSetsNothingAside", SameArchiveFiveTimes},
    {"VersionBOverTheCopyVersionAMadeSetsNothingAside", VersionBOverTheCopyOfVersionA},
    {"EditThenInstallFromPathWithNothingChangedSetsNothingAside", UntouchedThenChanged},
    {"InstallFromPathKeepsACopyWithAFileChanged", UntouchedThenChanged, By::kInstallFromPath,
     Change::kChanged},
    {"InstallFromPathKeepsACopyWithAFileAdded", UntouchedThenChanged, By::kInstallFromPath,
     Change::kAdded},
    {"InstallFromPathKeepsACopyWithAFileRemoved", UntouchedThenChanged, By::kInstallFromPath,
     Change::kRemoved},
    {"InstallCdpKeepsACopyWithAFileChanged", UntouchedThenChanged, By::kInstallCdp,
     Change::kChanged},
    {"InstallCdpKeepsACopyWithAFileAdded", UntouchedThenChanged, By::kInstallCdp, Change::kAdded},
    {"InstallCdpKeepsACopyWithAFileRemoved", UntouchedThenChanged, By::kInstallCdp,
     Change::kRemoved},
    {"FcyParseKeepsACopyWithAFileChanged", UntouchedThenChanged, By::kFcyParse, Change::kChanged},
    {"FcyParseKeepsACopyWithAFileAdded", UntouchedThenChanged, By::kFcyParse, Change::kAdded},
    {"FcyParseKeepsACopyWithAFileRemoved", UntouchedThenChanged, By::kFcyParse, Change::kRemoved},
    {"AnUntouchedCopyOutlivesARestartButNotALostIndex", RestartedThenTakenIn},
    {"AFailedFcyParsePutsTheEditCopyBackOpen",
     [](const Row&, Scene& s) { FailedFcyParse(s, true); }},
    {"AnFcyParseThatFailsLaterPutsTheEditCopyBackOpen",
     [](const Row&, Scene& s) { FailedFcyParse(s, false); }},
};

class EditCopyReplaced : public ToolFixture, public ::testing::WithParamInterface<Row> {
 protected:
  void SetUp() override {
    scene_.root = MakeRoot();
    scene_.source = MakeSource(kBody);
    scene_.archive = MakeTempFolder() + "/asset.cdp";
    ASSERT_EQ(scene_.Run({"installfrompath", scene_.source}).status, 0);
    ASSERT_EQ(scene_.Run({"createcdp", scene_.archive, kAsset}).status, 0);
  }
  void TearDown() override { StopDaemonOf(scene_.root); }

  Scene scene_;
};

TEST_P(EditCopyReplaced, OnlyTheUsersWorkIsKeptAside) {
  GetParam().act(GetParam(), scene_);
}

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, EditCopyReplaced, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
