// An install over an open edit copy, through the installed tool: a copy
// still holding only what the store put there is replaced with nothing set
// aside; one with a file changed, added or removed is kept and named; an
// "fcyparse" that fails puts the copy back, open for edit. Each row starts
// from a fresh root holding one asset installed from a folder, and an
// archive of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "tests/cli/ToolFixture.h"

namespace {

namespace fs = std::filesystem;

const char kAsset[] = "<kuid:0:500>";
const char kMine[] = "the user's work\n";
const char kKept[] = "Kept the edit copy ";

struct Scene {
  std::string root, source, archive;

  ToolResult Run(const std::vector<std::string>& args) const {
    return ToolFixture::RunProgram(root + "/bin/VandruUtil", args, root + "/bin");
  }
  // Opens the asset for edit; its edit folder.
  std::string Edit() const {
    const std::string out = Run({"edit", kAsset}).out;
    const size_t at = out.find(" : ") + 3;
    return out.substr(at, out.find('\n', at) - at);
  }
  std::vector<std::string> SetAside() const {
    std::vector<std::string> aside;
    for (const auto& entry : fs::directory_iterator(root + "/UserData/editing"))
      if (entry.path().string().find(".set-aside-") != std::string::npos)
        aside.push_back(entry.path().string());
    return aside;
  }
};

// Every file below `folder`: relative path -> bytes.
std::map<std::string, std::string> Contents(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), folder).string()] = ToolFixture::ReadFile(entry.path());
  return files;
}

std::string MakeSource(const std::string& body) {
  const std::string folder = ToolFixture::MakeTempFolder();
  fs::create_directories(folder + "/sub");
  ToolFixture::WriteFile(folder + "/config.txt",
                         std::string("kuid ") + kAsset + "\nkind \"scenery\"\nusername \"Crate\"\n");
  ToolFixture::WriteFile(folder + "/sub/body.txt", body);
  ToolFixture::WriteFile(folder + "/extra.txt", "one more file\n");
  return folder;
}

using Step = void (*)(const std::string& edit);
void Untouched(const std::string&) {}
// The same size as before: only the file's time tells.
void FileChanged(const std::string& edit) {
  ToolFixture::WriteFile(edit + "/sub/body.txt", "version 9\n");
}
void FileAdded(const std::string& edit) {
  ToolFixture::WriteFile(edit + "/mine.txt", kMine);
}
void FileRemoved(const std::string& edit) {
  fs::remove(edit + "/extra.txt");
}

struct Row {
  const char* name;
  void (*act)(const Row&, Scene&);
  const char* install = "installfrompath";  // with the source, else with the archive
  Step change = Untouched;
};

ToolResult Install(const Row& row, const Scene& s) {
  return s.Run({row.install, row.install == std::string("installfrompath") ? s.source : s.archive});
}

void ExpectNothingSetAside(const Scene& s, const ToolResult& r) {
  EXPECT_EQ(r.out.find(kKept), std::string::npos) << r.out;
  EXPECT_EQ(s.SetAside(), std::vector<std::string>()) << r.out;
}

// The one folder set aside, which the answer names as where `edit` is kept.
std::string ExpectKept(const Scene& s, const ToolResult& r, const std::string& edit) {
  const std::vector<std::string> aside = s.SetAside();
  if (aside.size() != 1) ADD_FAILURE() << r.out;
  if (aside.size() != 1) return edit;
  EXPECT_NE(r.out.find(kKept + edit + " as " + aside[0] + ": the install replaced it."),
            std::string::npos)
      << r.out;
  return aside[0];
}

// The copy "edit" made is replaced untouched; with `row.change` made in the
// next copy (after "installcdp", the archive's files), that one is kept,
// whole, where the answer says.
void UntouchedThenChanged(const Row& row, Scene& s) {
  s.Edit();
  ExpectNothingSetAside(s, Install(row, s));
  if (row.change == Untouched) return;
  const std::string edit = s.Edit();
  row.change(edit);
  const std::map<std::string, std::string> changed = Contents(edit);
  EXPECT_EQ(Contents(ExpectKept(s, Install(row, s), edit)), changed);
}

void SameArchiveFiveTimes(const Row& row, Scene& s) {
  for (int i = 0; i < 5; ++i) ExpectNothingSetAside(s, Install(row, s));
  EXPECT_NE(s.Run({"status", kAsset}).out.find(" : EI"), std::string::npos);
}

void VersionBOverTheCopyOfVersionA(const Row& row, Scene& s) {
  const std::string versionA = s.source;
  const std::string versionB = ToolFixture::MakeTempFolder() + "/b.cdp";
  ASSERT_EQ(s.Run({"installfrompath", MakeSource("version B\n")}).status, 0);
  ASSERT_EQ(s.Run({"createcdp", versionB, kAsset}).status, 0);
  ASSERT_EQ(s.Run({"installfrompath", versionA}).status, 0);
  ASSERT_EQ(Install(row, s).status, 0);  // version A becomes the edit copy
  s.archive = versionB;
  ExpectNothingSetAside(s, Install(row, s));
  EXPECT_EQ(ToolFixture::ReadFile(s.Edit() + "/sub/body.txt"), "version B\n");
}

// The mark of a copy "edit" made outlives a restart of the daemon; a copy a
// start takes into an index made again is the user's from the start.
void RestartedThenTakenIn(const Row& row, Scene& s) {
  s.Edit();
  ASSERT_TRUE(ToolFixture::StopDaemonOf(s.root));
  ExpectNothingSetAside(s, Install(row, s));
  const std::string edit = s.Edit();
  ASSERT_TRUE(ToolFixture::StopDaemonOf(s.root));
  ASSERT_TRUE(fs::remove(s.root + "/UserData/assets.tdx"));
  ExpectKept(s, Install(row, s), edit);
}

// "fcyparse" of an archive of two entries, kAsset second (or first), the
// second not to be unpacked, over kAsset open for edit with the user's file.
void FailedFcyParse(bool second, Scene& s) {
  const char other[] = "<kuid:0:501>";
  ASSERT_EQ(ToolFixture::InstallScenery(other, "", {{"a.txt", kMine}}, s.root).status, 0);
  const std::string two = ToolFixture::MakeTempFolder() + "/two.cdp";
  ASSERT_EQ(s.Run({"createcdp", two, second ? other : kAsset, second ? kAsset : other}).status, 0);
  Soup archive;
  Kiv::PString message;
  CDP::OpenArchive(archive, message, two);
  CDP::GetAssetAt(archive, 1).soup.SetNamedTag(CDP::Tag::Compression(), "no such coding");
  CDP::WriteArchive(archive, message, two);
  const std::string edit = s.Edit();
  ToolFixture::WriteFile(edit + "/userwork.txt", kMine);

  const ToolResult r = s.Run({"fcyparse", two});
  EXPECT_EQ(r.status, 255) << r.out;
  EXPECT_NE(r.out.find("the asset was not installed."), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("replaced"), std::string::npos) << r.out;
  ExpectNothingSetAside(s, r);
  EXPECT_NE(s.Run({"status", kAsset}).out.find(" : EI"), std::string::npos);
  EXPECT_NE(s.Run({"status", other}).out.find(" : eI"), std::string::npos) << "reverted";
  EXPECT_EQ(s.Edit(), edit);
  EXPECT_EQ(ToolFixture::ReadFile(edit + "/userwork.txt"), kMine);
}

const char kPath[] = "installfrompath";
const char kCdp[] = "installcdp";
const char kFcy[] = "fcyparse";

const Row kRows[] = {
    {"TheSameArchiveInstalledFiveTimesSetsNothingAside", SameArchiveFiveTimes, kCdp},
    {"VersionBOverTheCopyVersionAMadeSetsNothingAside", VersionBOverTheCopyOfVersionA, kCdp},
    {"EditThenInstallFromPathWithNothingChangedSetsNothingAside", UntouchedThenChanged},
    {"InstallFromPathKeepsACopyWithAFileChanged", UntouchedThenChanged, kPath, FileChanged},
    {"InstallFromPathKeepsACopyWithAFileAdded", UntouchedThenChanged, kPath, FileAdded},
    {"InstallFromPathKeepsACopyWithAFileRemoved", UntouchedThenChanged, kPath, FileRemoved},
    {"InstallCdpKeepsACopyWithAFileChanged", UntouchedThenChanged, kCdp, FileChanged},
    {"InstallCdpKeepsACopyWithAFileAdded", UntouchedThenChanged, kCdp, FileAdded},
    {"InstallCdpKeepsACopyWithAFileRemoved", UntouchedThenChanged, kCdp, FileRemoved},
    {"FcyParseKeepsACopyWithAFileChanged", UntouchedThenChanged, kFcy, FileChanged},
    {"FcyParseKeepsACopyWithAFileAdded", UntouchedThenChanged, kFcy, FileAdded},
    {"FcyParseKeepsACopyWithAFileRemoved", UntouchedThenChanged, kFcy, FileRemoved},
    {"AnUntouchedCopyOutlivesARestartButNotALostIndex", RestartedThenTakenIn},
    {"AFailedFcyParsePutsTheEditCopyBackOpen",
     [](const Row&, Scene& s) { FailedFcyParse(true, s); }},
    {"AnFcyParseThatFailsLaterPutsTheEditCopyBackOpen",
     [](const Row&, Scene& s) { FailedFcyParse(false, s); }},
};

class EditCopyReplaced : public ToolFixture, public ::testing::WithParamInterface<Row> {
 protected:
  void SetUp() override {
    scene_ = {MakeRoot(), MakeSource("version A\n"), MakeTempFolder() + "/asset.cdp"};
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
