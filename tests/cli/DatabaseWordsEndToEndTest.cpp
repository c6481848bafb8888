// End-to-end tests of the database words (and batch files of them): the built VandruUtil against
// the real vaddaemon in the fixture's installation root. Asset folders are written by the tests
// themselves. The root (and its database) is shared by every test of the binary, so each test uses
// KUIDs of its own, and tests that look at the whole database first empty it with "fcydeleteall".
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/ImmutableFolder.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

const char kOk[] = "OK (0 Errors, 0 Warnings)\n";
const char kOneError[] = "OK (1 Errors, 0 Warnings)\n";

std::string Config(const std::string& kuid, const std::string& name, const std::string& category,
                   const std::string& extra = "") {
  return "kuid " + kuid + "\r\nusername \"" + name + "\"\r\nkind \"traincar\"\r\ncategory \"" +
         category + "\"\r\n" + extra;
}

// True while `pid` runs (a process that has ended but is not yet reaped
// does not count).
bool ProcessRunning(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return false;
  return text[close + 2] != 'Z' && text[close + 2] != 'X';
}

std::string Installed(const std::string& kuid) {
  return "+ " + kuid + " : Installed " + kuid + ".\n";
}

class DatabaseWordsTest : public ToolFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.Made()); }

  // Writes an asset folder `folder` (below the scratch folder) with a
  // config.txt and one file of content; answers its full path.
  std::string MakeAsset(const std::string& folder, const std::string& kuid, const std::string& name,
                        const std::string& category = "TC", const std::string& extra = "") {
    const std::string path = scratch_ + "/" + folder;
    fs::create_directories(path);
    EXPECT_TRUE(WriteFile(path + "/config.txt", Config(kuid, name, category, extra)));
    EXPECT_TRUE(WriteFile(path + "/body.txt", "content of " + name + "\n"));
    return path;
  }

  // Installs one asset folder and checks the daemon's notice.
  void Install(const std::string& folder, const std::string& kuid, const std::string& name,
               const std::string& category = "TC", const std::string& extra = "") {
    const ToolResult r = Run({"installfrompath", MakeAsset(folder, kuid, name, category, extra)});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_EQ(r.out, Installed(kuid) + kOk);
  }

  void EmptyDatabase() {
    const ToolResult r = Run({"fcydeleteall"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_EQ(r.out, kOk);
  }

  std::string StatusLine(const std::string& kuid) { return Run({"status", kuid}).out; }

  const VUTest::TempFolder temp_{"cli"};
  const std::string scratch_ = temp_.Path();
};

// --- installfrompath ---

TEST_F(DatabaseWordsTest, InstallFromPathInstallsEveryAssetFolderAndSkipsFiles) {
  MakeAsset("tree/red", "<kuid:-3:1001>", "Red Van");
  MakeAsset("tree/deeper/blue", "<kuid:-3:1002>", "Blue Van");
  // An asset folder is installed whole: the asset inside it is not looked at.
  MakeAsset("tree/red/inner", "<kuid:-3:1003>", "Inner Van");
  ASSERT_TRUE(WriteFile(scratch_ + "/tree/notes.txt", "not an asset\n"));

  const ToolResult r = Run({"installfrompath", scratch_ + "/tree"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Installed("<kuid:-3:1002>") + Installed("<kuid:-3:1001>") + kOk);
  EXPECT_EQ(StatusLine("<kuid:-3:1001>"),
            std::string("+ <kuid:-3:1001> : eIadlmf : TC : Red Van\n") + kOk);
  EXPECT_EQ(StatusLine("<kuid:-3:1003>"),
            std::string("- <kuid:-3:1003> : Unknown AssetID.\n") + kOneError);
}

TEST_F(DatabaseWordsTest, InstallFromPathTakesABinaryConfigurationWhenThereIsNoTextOne) {
  const std::string folder = scratch_ + "/chump/only";
  fs::create_directories(folder);
  Soup config;
  config.Create();
  config.SetNamedKUID(Kiv::PString("kuid"), ParseKUID("<kuid:-3:1011>", true));
  config.SetNamedTag(Kiv::PString("username"), std::string_view("Chump Van"));
  config.SetNamedTag(Kiv::PString("category"), std::string_view("TC"));
  ASSERT_TRUE(Soup::SaveToFile(Kiv::PString(), folder + "/config.chump", config));
  MakeAsset("chump/only/nested", "<kuid:-3:1012>", "Nested Van");

  const ToolResult r = Run({"installfrompath", scratch_ + "/chump"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Installed("<kuid:-3:1011>") + kOk);
}

TEST_F(DatabaseWordsTest, InstallFromPathEndsOnALinkLoopAndInstallsEachFolderOnce) {
  MakeAsset("loop/a/van", "<kuid:-3:1021>", "Loop Van");
  ASSERT_EQ(symlink("..", (scratch_ + "/loop/a/up").c_str()), 0);
  ASSERT_EQ(symlink(".", (scratch_ + "/loop/self").c_str()), 0);
  ASSERT_EQ(symlink("a/van", (scratch_ + "/loop/alias").c_str()), 0);

  const ToolResult r = Run({"installfrompath", scratch_ + "/loop"}, "", 60000);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Installed("<kuid:-3:1021>") + kOk);
}

TEST_F(DatabaseWordsTest, InstallFromPathReportsBadPathsAndFoldersWithoutAssets) {
  fs::create_directories(scratch_ + "/empty/sub");
  ASSERT_TRUE(WriteFile(scratch_ + "/empty/sub/file.txt", "x"));
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"installfrompath", scratch_ + "/no-such-folder"}, "Invalid input path."},
      {{"installfrompath"}, "Missing input path parameter."},
      {{"installfrompath", scratch_ + "/empty/sub/file.txt"}, "The input path is not a folder."},
      {{"installfrompath", scratch_ + "/empty"},
       "No asset folder (one holding config.txt or config.chump) was found in the input path."},
  };
  for (const auto& c : cases) {
    const ToolResult r = Run(c.args);
    EXPECT_EQ(r.status, 255) << c.message;
    EXPECT_EQ(r.out, "- <NULL> : " + c.message + "\n" + kOneError);
  }
}

TEST_F(DatabaseWordsTest, InstallFromPathTakesARelativePathFromTheStartDirectoryAsTyped) {
  MakeAsset("Mixed Case/Van", "<kuid:-3:1031>", "Relative Van");
  const ToolResult r = Run({"installfrompath", "Mixed Case"}, scratch_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Installed("<kuid:-3:1031>") + kOk);
}

// --- status, edit, commit, revert, delete, printconfig ---

TEST_F(DatabaseWordsTest, StatusFollowsAnAssetThroughEditCommitRevertAndDelete) {
  const std::string kuid = "<kuid:-3:1101>";
  ASSERT_NO_FATAL_FAILURE(Install("cycle", kuid, "Cycle Van"));
  EXPECT_EQ(StatusLine(kuid), "+ " + kuid + " : eIadlmf : TC : Cycle Van\n" + kOk);

  ToolResult r = Run({"edit", kuid});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "+ " + kuid + " : " + UserDataPath() + "/editing/kuid -3 1101\n" + kOk);
  EXPECT_TRUE(fs::exists(UserDataPath() + "/editing/kuid -3 1101/body.txt"));
  EXPECT_EQ(StatusLine(kuid), "+ " + kuid + " : EIadlmf : TC : Cycle Van\n" + kOk);

  r = Run({"commit", kuid});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "+ " + kuid + " : The asset was committed.\n" + kOk);
  EXPECT_EQ(StatusLine(kuid), "+ " + kuid + " : eIadLmf : TC : Cycle Van\n" + kOk);

  ASSERT_EQ(Run({"edit", kuid}).status, 0);
  r = Run({"revert", kuid});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "; " + kuid + " : Local changes were discarded.\n" + kOk);
  EXPECT_EQ(StatusLine(kuid), "+ " + kuid + " : eIadLmf : TC : Cycle Van\n" + kOk);

  r = Run({"delete", kuid});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kOk);
  r = Run({"status", kuid});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "- " + kuid + " : Unknown AssetID.\n" + kOneError);
  r = Run({"delete", kuid});
  EXPECT_EQ(r.status, 255);
}

TEST_F(DatabaseWordsTest, DeleteThatCannotRemoveTheFilesFailsAndChangesNothing) {
  const std::string kuid = "<kuid:-3:1141>";
  ASSERT_NO_FATAL_FAILURE(Install("frozen", kuid, "Frozen Van"));
  {
    ImmutableFolder frozen(UserDataPath() + "/local");
    if (!frozen.Made()) GTEST_SKIP() << "the immutable attribute cannot be set here";
    const ToolResult r = Run({"delete", kuid});
    EXPECT_EQ(r.status, 255);
    const std::string reason =
        "- " + kuid + " : The asset could not be deleted: cannot remove the folder ";
    EXPECT_EQ(r.out.rfind(reason, 0), 0u) << r.out;
    EXPECT_NE(r.out.find(kOneError), std::string::npos) << r.out;
  }
  EXPECT_EQ(StatusLine(kuid), "+ " + kuid + " : eIadlmf : TC : Frozen Van\n" + kOk);
  EXPECT_EQ(ReadFile(UserDataPath() + "/local/kuid -3 1141/body.txt"), "content of Frozen Van\n");
}

TEST_F(DatabaseWordsTest, StatusShowsMissingDependenciesAndTakesTheKUIDInAnyCase) {
  ASSERT_NO_FATAL_FAILURE(Install("needy", "<kuid:-3:1111>", "Needy Van", "TC",
                                  "kuid-table\r\n{\r\n  0 <kuid:-3:1119>\r\n}\r\n"));
  const ToolResult r = Run({"STATUS", "<KUID:-3:1111>"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string("+ <kuid:-3:1111> : eIadlMf : TC : Needy Van\n") + kOk);
}

// Words that are refused end with 255 and print the reason ("" below: the
// reason is not checked) and change nothing.
TEST_F(DatabaseWordsTest, RefusedWordsEndWith255AndPrintTheirReason) {
  ASSERT_NO_FATAL_FAILURE(Install("closed", "<kuid:-3:1121>", "Closed Van"));
  const auto failed = [](const std::string& subject, const std::string& text) {
    return "- " + subject + " : " + text + "\n" + kOneError;
  };
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"revert", "<kuid:-3:1121>"}, ""},  // installed but not open for edit
      {{"commit", "<kuid:-3:1129>"}, ""},
      // The daemon's own reason comes first: the open request carries the
      // command's log.
      {{"edit", "<kuid:-3:1199>"},
       "- <kuid:-3:1199> : unknown asset\n- <kuid:-3:1199> : Unknown AssetID.\n"
       "OK (2 Errors, 0 Warnings)\n"},
      {{"printconfig", "<kuid:-3:1199>"}, failed("<kuid:-3:1199>", "Asset is not local.")},
      {{"createcdp", scratch_ + "/none.cdp", "<kuid:-3:1599>"},
       failed("<kuid:-3:1599>", "Asset is not local.")},
      {{"createcdp", scratch_ + "/no-such-folder/none.cdp"},
       failed("<NULL>", "The output folder '" + scratch_ + "/no-such-folder' does not exist.")},
      {{"listbuilds", scratch_ + "/no-such-folder/builds.txt"},
       failed("<NULL>", "Failed to open output file.")},
      {{"setlanguage", "xx"}, failed("<NULL>", "Unknown language code.")},
      {{"searchbycategory", "zz"}, kOk},
  };
  for (const auto& c : cases) {
    const ToolResult r = Run(c.args);
    EXPECT_EQ(r.status, 255) << c.args[0];
    EXPECT_EQ(c.out.empty() ? "" : r.out, c.out) << c.args[0];
    EXPECT_EQ(r.err, "") << c.args[0];
  }
  EXPECT_EQ(StatusLine("<kuid:-3:1121>"),
            std::string("+ <kuid:-3:1121> : eIadlmf : TC : Closed Van\n") + kOk);
  EXPECT_FALSE(fs::exists(scratch_ + "/none.cdp"));
}

TEST_F(DatabaseWordsTest, PrintConfigDumpsTheInstalledConfiguration) {
  ASSERT_NO_FATAL_FAILURE(Install("printed", "<kuid:-3:1131>", "Printed Van"));
  const ToolResult r = Run({"printconfig", "<kuid:-3:1131>"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string start = "+ Start of <kuid:-3:1131> dump\n";
  const std::string end = "\n+ End of <kuid:-3:1131> dump\n" + std::string(kOk);
  ASSERT_EQ(r.out.rfind(start, 0), 0u) << r.out;
  ASSERT_GE(r.out.size(), start.size() + end.size());
  EXPECT_EQ(r.out.substr(r.out.size() - end.size()), end) << r.out;
  const std::string body = r.out.substr(start.size(), r.out.size() - start.size() - end.size());
  EXPECT_TRUE(std::regex_search(body, std::regex("\r\nkuid +<kuid:-3:1131>\r\n"))) << body;
  EXPECT_TRUE(std::regex_search(body, std::regex("\r\nusername +\"Printed Van\"\r\n"))) << body;
  EXPECT_TRUE(std::regex_search(body, std::regex("\r\ncategory +\"TC\"\r\n"))) << body;
}

// --- listbuilds, generatekuid ---

TEST_F(DatabaseWordsTest, ListBuildsWritesTheBuildsToTheNamedFile) {
  ToolResult r = Run({"listbuilds", "builds.txt"}, scratch_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(ReadFile(scratch_ + "/builds.txt"), "49938\n");
}

TEST_F(DatabaseWordsTest, GenerateKUIDHandsOutANewKUIDEachTime) {
  const std::regex form("<KUID2:0:([0-9]+):0>\nOK \\(0 Errors, 0 Warnings\\)\n");
  std::smatch first;
  std::smatch second;
  const ToolResult a = Run({"generatekuid"});
  const ToolResult b = Run({"generatekuid"});
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(b.status, 0);
  ASSERT_TRUE(std::regex_match(a.out, first, form)) << a.out;
  ASSERT_TRUE(std::regex_match(b.out, second, form)) << b.out;
  EXPECT_NE(first[1].str(), second[1].str());
}

// --- authors, searchbycategory, fcydeleteall ---

TEST_F(DatabaseWordsTest, AuthorsListsEachNamedAuthorOnceInTextOrder) {
  ASSERT_NO_FATAL_FAILURE(EmptyDatabase());
  EXPECT_EQ(Run({"authors"}).out, kOk);

  // Negative user ids are the maker's ("Orvak"), user 0 is "-", and a user
  // the daemon has no name for adds nothing.
  ASSERT_NO_FATAL_FAILURE(Install("au1", "<kuid:-3:1201>", "Maker One"));
  ASSERT_NO_FATAL_FAILURE(Install("au2", "<kuid:-7:1202>", "Maker Two"));
  ASSERT_NO_FATAL_FAILURE(Install("au3", "<kuid:0:1203>", "Local One"));
  ASSERT_NO_FATAL_FAILURE(Install("au4", "<kuid2:4242:1204:1>", "Stranger"));
  const ToolResult r = Run({"authors"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string("-\nOrvak\n") + kOk);
}

TEST_F(DatabaseWordsTest, SearchByCategoryListsTheMatchingLocalAssets) {
  ASSERT_NO_FATAL_FAILURE(EmptyDatabase());
  ASSERT_NO_FATAL_FAILURE(Install("sc1", "<kuid:-3:1302>", "Second", "TC"));
  ASSERT_NO_FATAL_FAILURE(Install("sc2", "<kuid:-3:1301>", "First", "TC"));
  ASSERT_NO_FATAL_FAILURE(Install("sc3", "<kuid:-3:1303>", "Other", "BR"));

  ToolResult r = Run({"searchbycategory", "tc"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string("+ 2 : assets matching the specified criteria\n"
                               "+ #0 : <kuid:-3:1301>\n"
                               "+ #1 : <kuid:-3:1302>\n") +
                       kOk);
}

TEST_F(DatabaseWordsTest, FcyDeleteAllDeletesEveryLocalAsset) {
  ASSERT_NO_FATAL_FAILURE(Install("fd1", "<kuid:-3:1401>", "Doomed One"));
  ASSERT_NO_FATAL_FAILURE(Install("fd2", "<kuid:-3:1402>", "Doomed Two", "BR"));
  ASSERT_EQ(Run({"edit", "<kuid:-3:1402>"}).status, 0);

  const ToolResult r = Run({"fcydeleteall"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(StatusLine("<kuid:-3:1401>"),
            std::string("- <kuid:-3:1401> : Unknown AssetID.\n") + kOneError);
  EXPECT_EQ(StatusLine("<kuid:-3:1402>"),
            std::string("- <kuid:-3:1402> : Unknown AssetID.\n") + kOneError);
  EXPECT_EQ(Run({"searchbycategory", "tc|br"}).status, 255);
  EXPECT_FALSE(fs::exists(UserDataPath() + "/local/kuid -3 1401"));
  EXPECT_FALSE(fs::exists(UserDataPath() + "/editing/kuid -3 1402"));

  // Nothing left: the word still succeeds.
  EXPECT_EQ(Run({"fcydeleteall"}).status, 0);
}

// --- createcdp, installcdp ---

TEST_F(DatabaseWordsTest, CreateCDPThenInstallCDPBringsDeletedAssetsBack) {
  ASSERT_NO_FATAL_FAILURE(Install("cd1", "<kuid:-3:1501>", "Packed One"));
  ASSERT_NO_FATAL_FAILURE(Install("cd2", "<kuid:-3:1502>", "Packed Two"));
  ToolResult r = Run({"createcdp", "pack.cdp", "<kuid:-3:1501>", "<kuid:-3:1502>"}, scratch_);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, kOk);
  ASSERT_TRUE(fs::exists(scratch_ + "/pack.cdp"));

  ASSERT_EQ(Run({"delete", "<kuid:-3:1501>"}).status, 0);
  ASSERT_EQ(Run({"delete", "<kuid:-3:1502>"}).status, 0);
  r = Run({"installcdp", "pack.cdp"}, scratch_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Installed("<kuid:-3:1501>") + Installed("<kuid:-3:1502>") + kOk);
  EXPECT_EQ(StatusLine("<kuid:-3:1502>"),
            std::string("+ <kuid:-3:1502> : eIadlmf : TC : Packed Two\n") + kOk);
  EXPECT_EQ(ReadFile(UserDataPath() + "/local/kuid -3 1501/body.txt"), "content of Packed One\n");
}

TEST_F(DatabaseWordsTest, InstallCDPRefusesBadOrMissingArchives) {
  ToolResult r;
  ASSERT_TRUE(WriteFile(scratch_ + "/junk.cdp", "this is not an archive"));
  for (const char* archive : {"/junk.cdp", "/missing.cdp"}) {
    r = Run({"installcdp", scratch_ + archive});
    EXPECT_EQ(r.status, 255) << archive;
    EXPECT_NE(r.out.find("- <NULL> : "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(kOneError), std::string::npos) << r.out;
  }
}

// --- setlanguage, registeraccount ---

TEST_F(DatabaseWordsTest, SettingsWordsStoreTheInternetGroup) {
  ToolResult r = Run({"setlanguage", "Fr"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kOk);
  r = Run({"registeraccount", "MixedUser", "Pa ss"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kOk);
  // The daemon writes its settings file whole; read it once it has ended.
  StopDaemon();
  Soup settings;
  ASSERT_TRUE(Soup::LoadFromFile(Kiv::PString(), UserDataPath() + "/vaddaemon-settings.chump",
                                 settings, true));
  const Soup internet = settings.GetNamedSoup(Kiv::PString("internet"));
  EXPECT_EQ(internet.GetNamedTag(Kiv::PString("language")).Str(), "fr");
  EXPECT_EQ(internet.GetNamedTag(Kiv::PString("username")).Str(), "MixedUser");
  EXPECT_EQ(internet.GetNamedTag(Kiv::PString("password")).Str(), "Pa ss");
}

// --- batch files, closevaddaemon ---

TEST_F(DatabaseWordsTest, BatchFileRunsEveryLineAndFailsWhenOneLineFails) {
  MakeAsset("batch assets/van", "<kuid:-3:1601>", "Batch Van");
  const std::string good = scratch_ + "/good.txt";
  // A quoted path with a blank, an empty line (skipped), then a status.
  ASSERT_TRUE(WriteFile(good, "installfrompath \"" + scratch_ +
                                  "/batch assets\"\r\n\r\nstatus \"<kuid:-3:1601>\"\r\n"));
  ToolResult r = Run({"@" + good});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Installed("<kuid:-3:1601>") + kOk + "\n" +
                       "+ <kuid:-3:1601> : eIadlmf : TC : Batch Van\n" + kOk + "\n");

  const std::string bad = scratch_ + "/bad.txt";
  ASSERT_TRUE(WriteFile(bad, "status \"<kuid:-3:1601>\"\nstatus \"<kuid:-3:1699>\"\nlistbuilds \"" +
                                 scratch_ + "/batch builds.txt\"\n"));
  r = Run({"@" + bad});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "+ <kuid:-3:1601> : eIadlmf : TC : Batch Van\n" + std::string(kOk) + "\n" +
                       "- <kuid:-3:1699> : Unknown AssetID.\n" + kOneError + "\n" + kOk + "\n");
  EXPECT_EQ(ReadFile(scratch_ + "/batch builds.txt"), "49938\n");
}

TEST_F(DatabaseWordsTest, CloseVADDaemonEndsTheDaemonAndTheNextCommandStartsAnother) {
  ASSERT_NO_FATAL_FAILURE(Install("close", "<kuid:-3:1701>", "Lasting Van"));
  const pid_t before = DaemonOwnerPid();
  ASSERT_NE(before, 0);

  const ToolResult r = Run({"closevaddaemon"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(DaemonOwnerPid(), 0);
  EXPECT_FALSE(ProcessRunning(before));

  // The database outlives its daemon.
  EXPECT_EQ(StatusLine("<kuid:-3:1701>"),
            std::string("+ <kuid:-3:1701> : eIadlmf : TC : Lasting Van\n") + kOk);
  EXPECT_NE(DaemonOwnerPid(), 0);
}

// --- repairdatabase ---

TEST_F(DatabaseWordsTest, RepairDatabaseReportsItsEndInEveryMode) {
  ASSERT_NO_FATAL_FAILURE(EmptyDatabase());
  ASSERT_NO_FATAL_FAILURE(Install("repair", "<kuid:-3:1801>", "Sound Van"));
  const std::string repairing = "Repairing asset database (this may take some time)\n";
  for (const char* mode : {"", "Extended", "base", "patcher"}) {
    SCOPED_TRACE(mode);
    const ToolResult r = Run(*mode ? std::vector<std::string>{"repairdatabase", mode}
                                   : std::vector<std::string>{"repairdatabase"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // Patcher mode prints nothing before the repair.
    EXPECT_EQ(r.out.rfind(repairing, 0) == 0, std::string(mode) != "patcher") << r.out;
    EXPECT_NE(r.out.find("Asset database repair complete: 1 assets checked, 0 faulty"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(r.out.ends_with(kOk)) << r.out;
  }
}

TEST_F(DatabaseWordsTest, RepairThatFindsAFaultyAssetExitsWith255) {
  ASSERT_NO_FATAL_FAILURE(EmptyDatabase());
  ASSERT_NO_FATAL_FAILURE(Install("broken", "<kuid:-3:1802>", "Broken Van"));
  // The stored configuration now names another KUID: the repair marks the
  // asset faulty with an error.
  ASSERT_TRUE(WriteFile(UserDataPath() + "/local/kuid -3 1802/config.txt",
                        Config("<kuid:-3:1899>", "Broken Van", "TC")));
  const ToolResult r = Run({"repairdatabase"});
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("1 faulty"), std::string::npos) << r.out;
  // No faulty asset of this test reaches another one.
  EmptyDatabase();
}

}  // namespace
