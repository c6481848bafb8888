// The database words end to end: the built VandruUtil against the real
// vaddaemon of the fixture's root. The root is shared by every test of the
// binary, so each test uses KUIDs of its own; tests that look at the whole
// database empty it first with "fcydeleteall". The daemon's own edge cases
// are tested in tests/vaddaemon; here each word's printed lines and status.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

const std::string kOk = "OK (0 Errors, 0 Warnings)\n";
const std::string kOneError = "OK (1 Errors, 0 Warnings)\n";

std::string Config(const std::string& kuid, const std::string& name, const std::string& category,
                   const std::string& extra = "") {
  return "kuid " + kuid + "\r\nusername \"" + name + "\"\r\nkind \"traincar\"\r\ncategory \"" +
         category + "\"\r\n" + extra;
}

std::string Installed(const std::string& kuid) {
  return "+ " + kuid + " : Installed " + kuid + ".\n";
}

std::string Shown(const std::string& kuid, const std::string& flags, const std::string& name) {
  return "+ " + kuid + " : " + flags + " : TC : " + name + "\n" + kOk;
}

std::string Unknown(const std::string& kuid) {
  return "- " + kuid + " : Unknown AssetID.\n" + kOneError;
}

class DatabaseWordsTest : public ToolFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.Made()); }

  // An asset folder below the scratch folder with a config.txt and one file.
  std::string MakeAsset(const std::string& folder, const std::string& kuid, const std::string& name,
                        const std::string& category = "TC", const std::string& extra = "") {
    const std::string path = temp_.At(folder);
    fs::create_directories(path);
    EXPECT_TRUE(WriteFile(path + "/config.txt", Config(kuid, name, category, extra)));
    EXPECT_TRUE(WriteFile(path + "/body.txt", "content of " + name + "\n"));
    return path;
  }

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

// Every asset folder below the path is installed whole (not the folders
// inside it), plain files are skipped, a binary configuration counts, link
// loops end, and a relative path is taken from the start folder as typed.
TEST_F(DatabaseWordsTest, InstallFromPathWalksTheTreeOnceAndInstallsEachAssetFolder) {
  MakeAsset("Tree/red", "<kuid:-3:1001>", "Red Van");
  MakeAsset("Tree/deeper/blue", "<kuid:-3:1002>", "Blue Van");
  MakeAsset("Tree/red/inner", "<kuid:-3:1003>", "Inner Van");
  ASSERT_TRUE(WriteFile(scratch_ + "/Tree/notes.txt", "not an asset\n"));
  fs::create_directories(scratch_ + "/Tree/chump");
  Soup config;
  config.Create();
  config.SetNamedKUID(Kiv::PString("kuid"), ParseKUID("<kuid:-3:1011>", true));
  config.SetNamedTag(Kiv::PString("username"), std::string_view("Chump Van"));
  ASSERT_TRUE(Soup::SaveToFile(Kiv::PString(), scratch_ + "/Tree/chump/config.chump", config));
  ASSERT_EQ(symlink("..", (scratch_ + "/Tree/deeper/up").c_str()), 0);
  ASSERT_EQ(symlink("red", (scratch_ + "/Tree/alias").c_str()), 0);

  const ToolResult r = Run({"installfrompath", "Tree"}, scratch_, 60000);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* kuid : {"<kuid:-3:1001>", "<kuid:-3:1002>", "<kuid:-3:1011>"})
    EXPECT_NE(r.out.find(Installed(kuid)), std::string::npos) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
  EXPECT_TRUE(r.out.ends_with(kOk)) << r.out;
  EXPECT_EQ(StatusLine("<kuid:-3:1001>"), Shown("<kuid:-3:1001>", "eIadlmf", "Red Van"));
  EXPECT_EQ(StatusLine("<kuid:-3:1003>"), Unknown("<kuid:-3:1003>"));
}

TEST_F(DatabaseWordsTest, InstallFromPathReportsBadPathsAndFoldersWithoutAssets) {
  fs::create_directories(scratch_ + "/empty/sub");
  ASSERT_TRUE(WriteFile(scratch_ + "/empty/sub/file.txt", "x"));
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {scratch_ + "/no-such-folder", "Invalid input path."},
      {scratch_ + "/empty/sub/file.txt", "The input path is not a folder."},
      {scratch_ + "/empty",
       "No asset folder (one holding config.txt or config.chump) was found in the input path."},
  };
  for (const auto& c : cases) {
    const ToolResult r = Run({"installfrompath", c.path});
    EXPECT_EQ(r.status, 255) << c.message;
    EXPECT_EQ(r.out, "- <NULL> : " + c.message + "\n" + kOneError);
  }
}

// The status letters follow the asset through edit, commit, revert and
// delete; the word and the KUID may be in any case.
TEST_F(DatabaseWordsTest, StatusFollowsAnAssetThroughEditCommitRevertAndDelete) {
  const std::string kuid = "<kuid:-3:1101>";
  ASSERT_NO_FATAL_FAILURE(
      Install("cycle", kuid, "Cycle Van", "TC", "kuid-table\r\n{\r\n  0 <kuid:-3:1119>\r\n}\r\n"));
  EXPECT_EQ(Run({"STATUS", "<KUID:-3:1101>"}).out, Shown(kuid, "eIadlMf", "Cycle Van"));

  const struct {
    const char* word;
    std::string out;
    std::string flags;
  } steps[] = {
      {"edit", "+ " + kuid + " : " + UserDataPath() + "/editing/kuid -3 1101\n" + kOk, "EIadlMf"},
      {"commit", "+ " + kuid + " : The asset was committed.\n" + kOk, "eIadLMf"},
      {"edit", "", "EIadLMf"},
      {"revert", "; " + kuid + " : Local changes were discarded.\n" + kOk, "eIadLMf"},
  };
  for (const auto& s : steps) {
    const ToolResult r = Run({s.word, kuid});
    EXPECT_EQ(r.status, 0) << s.word << r.err;
    EXPECT_EQ(s.out.empty() ? "" : r.out, s.out) << s.word;
    EXPECT_EQ(StatusLine(kuid), Shown(kuid, s.flags, "Cycle Van")) << s.word;
  }
  ToolResult r = Run({"delete", kuid});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kOk);
  r = Run({"status", kuid});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, Unknown(kuid));
  EXPECT_EQ(Run({"delete", kuid}).status, 255);
}

// Refused words end with 255, print their reason ("" below: not checked)
// and change nothing.
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
      {{"commit", "<kuid:-3:1129>"}, Unknown("<kuid:-3:1129>")},
      {{"revert", "<kuid:-3:1198>"}, Unknown("<kuid:-3:1198>")},
      // The daemon's reason comes first: the open request carries the log.
      {{"edit", "<kuid:-3:1199>"},
       "- <kuid:-3:1199> : unknown asset\n- <kuid:-3:1199> : Unknown AssetID.\n"
       "OK (2 Errors, 0 Warnings)\n"},
      {{"createcdp", scratch_ + "/none.cdp", "<kuid:-3:1599>"},
       failed("<kuid:-3:1599>", "Asset is not local.")},
      {{"createcdp", scratch_ + "/no-such-folder/none.cdp"},
       failed("<NULL>", "The output folder '" + scratch_ + "/no-such-folder' does not exist.")},
      {{"searchbycategory", "zz"}, kOk},
  };
  for (const auto& c : cases) {
    const ToolResult r = Run(c.args);
    EXPECT_EQ(r.status, 255) << c.args[0];
    EXPECT_EQ(c.out.empty() ? "" : r.out, c.out) << c.args[0];
    EXPECT_NE(r.out.find(" Errors, 0 Warnings)\n"), std::string::npos) << c.args[0];
    EXPECT_EQ(r.err, "") << c.args[0];
  }
  EXPECT_EQ(StatusLine("<kuid:-3:1121>"), Shown("<kuid:-3:1121>", "eIadlmf", "Closed Van"));
  EXPECT_FALSE(fs::exists(scratch_ + "/none.cdp"));
}

TEST_F(DatabaseWordsTest, PrintConfigDumpsTheInstalledConfiguration) {
  ASSERT_NO_FATAL_FAILURE(Install("printed", "<kuid:-3:1131>", "Printed Van"));
  const ToolResult r = Run({"printconfig", "<kuid:-3:1131>"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::regex_match(
      r.out,
      std::regex("\\+ Start of <kuid:-3:1131> dump\n[\\s\\S]*\r\nusername +\"Printed Van\"\r\n"
                 "[\\s\\S]*\n\\+ End of <kuid:-3:1131> dump\nOK \\(0 Errors, 0 Warnings\\)\n")))
      << r.out;
}

TEST_F(DatabaseWordsTest, ListBuildsAndGenerateKUIDPrintTheirAnswers) {
  ToolResult r = Run({"listbuilds", "builds.txt"}, scratch_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(ReadFile(scratch_ + "/builds.txt"), "49938\n");

  const std::regex form("<KUID2:0:([0-9]+):0>\nOK \\(0 Errors, 0 Warnings\\)\n");
  std::smatch first;
  std::smatch second;
  const ToolResult a = Run({"generatekuid"});
  const ToolResult b = Run({"generatekuid"});
  ASSERT_TRUE(std::regex_match(a.out, first, form)) << a.out;
  ASSERT_TRUE(std::regex_match(b.out, second, form)) << b.out;
  EXPECT_EQ(a.status + b.status, 0);
  EXPECT_NE(first[1].str(), second[1].str());
}

// Authors: negative user ids are the maker's ("Orvak"), user 0 is "-", and
// a user without a name adds nothing. Search lists local matches in order.
TEST_F(DatabaseWordsTest, AuthorsAndSearchByCategoryListTheLocalAssets) {
  ASSERT_NO_FATAL_FAILURE(EmptyDatabase());
  EXPECT_EQ(Run({"authors"}).out, kOk);
  ASSERT_NO_FATAL_FAILURE(Install("au1", "<kuid:-3:1302>", "Second"));
  ASSERT_NO_FATAL_FAILURE(Install("au2", "<kuid:-3:1301>", "First"));
  ASSERT_NO_FATAL_FAILURE(Install("au3", "<kuid:0:1303>", "Local", "BR"));
  ASSERT_NO_FATAL_FAILURE(Install("au4", "<kuid2:4242:1304:1>", "Stranger", "BR"));
  ToolResult r = Run({"authors"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "-\nOrvak\n" + kOk);

  r = Run({"searchbycategory", "tc"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "+ 2 : assets matching the specified criteria\n+ #0 : <kuid:-3:1301>\n"
            "+ #1 : <kuid:-3:1302>\n" +
                kOk);
}

TEST_F(DatabaseWordsTest, FcyDeleteAllDeletesEveryLocalAssetAndItsEditCopy) {
  ASSERT_NO_FATAL_FAILURE(Install("fd1", "<kuid:-3:1401>", "Doomed One"));
  ASSERT_NO_FATAL_FAILURE(Install("fd2", "<kuid:-3:1402>", "Doomed Two", "BR"));
  ASSERT_EQ(Run({"edit", "<kuid:-3:1402>"}).status, 0);

  const ToolResult r = Run({"fcydeleteall"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kOk);
  EXPECT_EQ(StatusLine("<kuid:-3:1401>"), Unknown("<kuid:-3:1401>"));
  EXPECT_EQ(StatusLine("<kuid:-3:1402>"), Unknown("<kuid:-3:1402>"));
  EXPECT_FALSE(fs::exists(UserDataPath() + "/local/kuid -3 1401"));
  EXPECT_FALSE(fs::exists(UserDataPath() + "/editing/kuid -3 1402"));
  EXPECT_EQ(Run({"fcydeleteall"}).status, 0);
}

TEST_F(DatabaseWordsTest, SettingsWordsStoreTheInternetGroup) {
  EXPECT_EQ(Run({"setlanguage", "Fr"}).out, kOk);
  EXPECT_EQ(Run({"registeraccount", "MixedUser", "Pa ss"}).out, kOk);
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

// A setting that the daemon cannot keep (a folder where its settings file
// goes) is an error that names the file, for each word that writes one.
TEST_F(DatabaseWordsTest, SettingsWordsSayWhenTheSettingsFileCannotBeSaved) {
  const std::string root = MakeRoot(), file = root + "/UserData/vaddaemon-settings.chump";
  ASSERT_TRUE(fs::create_directories(file));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"setlanguage", "DE"}, {"registeraccount", "MixedUser", "Pa ss"}}) {
    const ToolResult r = RunProgram(root + "/bin/VandruUtil", args, root + "/bin");
    EXPECT_EQ(r.status, 255) << args[0];
    EXPECT_EQ(r.out, "- <NULL> : Unable to write internet settings: the settings file '" + file +
                         "' cannot be saved: Is a directory.\n" + kOneError);
  }
  // What was refused is not saved later, with the next setting kept.
  fs::remove(file);
  EXPECT_EQ(
      RunProgram(root + "/bin/VandruUtil", {"registeraccount", "Later", "pw"}, root + "/bin").out,
      kOk);
  EXPECT_TRUE(StopDaemonOf(root));
  Soup settings;
  ASSERT_TRUE(Soup::LoadFromFile(Kiv::PString(), file, settings, true));
  const Soup internet = settings.GetNamedSoup(Kiv::PString("internet"));
  EXPECT_EQ(internet.GetNamedTag(Kiv::PString("username")).Str(), "Later");
  EXPECT_EQ(internet.GetNamedTag(Kiv::PString("language")).Str(), "");
}

// Every line runs (quoted arguments, empty lines skipped); one failed line
// fails the batch.
TEST_F(DatabaseWordsTest, BatchFileRunsEveryLineAndFailsWhenOneLineFails) {
  MakeAsset("batch assets/van", "<kuid:-3:1601>", "Batch Van");
  const std::string batch = temp_.Put(
      "batch.txt", "installfrompath \"" + scratch_ + "/batch assets\"\r\n\r\nstatus " +
                       "\"<kuid:-3:1699>\"\nlistbuilds \"" + scratch_ + "/batch builds.txt\"\n");
  const ToolResult r = Run({"@" + batch});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, Installed("<kuid:-3:1601>") + kOk + "\n" + Unknown("<kuid:-3:1699>") + "\n" +
                       kOk + "\n");
  EXPECT_EQ(ReadFile(scratch_ + "/batch builds.txt"), "49938\n");
}

// An asset's texts print on their own line, however they reached the index
// (a configuration's quoted value, whose line ends read as CR LF, or an
// archive's string): control characters escaped, other text as it is.
TEST_F(DatabaseWordsTest, AnAssetsTextsCannotAddLinesToAnAnswer) {
  const std::string name =
      "crate\n+ <kuid:0:999> : eIadlmf : ZX : forged\nOK (0 Errors, 0 Warnings)\r\x1b[31m"
      "\xC2\x85\xE2\x80\xA8 caf\xC3\xA9 a\\b\\x";
  // As printed: each line end of the name shown as `end`, its carriage
  // return as `cr`.
  const auto shown = [](const std::string& end, const std::string& cr) {
    return "crate" + end + "+ <kuid:0:999> : eIadlmf : ZX : forged" + end +
           "OK (0 Errors, 0 Warnings)" + cr +
           "\\x1B[31m\\xC2\\x85\\xE2\\x80\\xA8 caf\xC3\xA9 a\\b\\x5Cx";
  };
  // UTF-8 by its byte-order mark; validation names the mesh.
  const std::string folder = temp_.At("forged");
  fs::create_directories(folder);
  ASSERT_TRUE(
      WriteFile(folder + "/config.txt",
                "\xEF\xBB\xBF" + Config("<kuid:-3:1901>", name, "TC",
                                        "vandru-build 3.4\r\nmesh-table\r\n{\r\n default\r\n"
                                        " {\r\n  mesh \"no\x1b[2Jsuch\nfile.im\"\r\n }\r\n}\r\n")));
  ASSERT_EQ(Run({"installfrompath", folder}).out, Installed("<kuid:-3:1901>") + kOk);
  Soup entry = CDP::MakeLZSSOptions(), archive;
  entry.SetNamedKUID(Kiv::PString("kuid"), ParseKUID("<kuid:-3:1902>", true));
  entry.SetNamedTag(Kiv::PString("kind"), std::string_view("traincar"));
  entry.SetNamedTag(Kiv::PString("category-class"), std::string_view("TC"));
  entry.SetNamedTag(Kiv::PString("username"), std::string_view(name));
  Kiv::PString message;
  CDP::AddContent(archive, message, entry);
  CDP::WriteArchive(archive, message, scratch_ + "/forged.cdp");
  ASSERT_EQ(Run({"installcdp", scratch_ + "/forged.cdp"}).out, Installed("<kuid:-3:1902>") + kOk);

  const struct {
    std::string kuid, shown, finding;
  } rows[] = {
      {"<kuid:-3:1901>", shown("\\x0D\\x0A", "\\x0D\\x0A"), "'no\\x1B[2Jsuch\\x0D\\x0Afile.im'"},
      // The archive keeps a lone line feed or carriage return.
      {"<kuid:-3:1902>", shown("\\x0A", "\\x0D"), ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.kuid);
    const std::string line = "+ " + row.kuid + " : eIadlmf : TC : " + row.shown + "\n";
    EXPECT_EQ(Run({"status", row.kuid}).out, line + kOk);
    const std::string batch =
        temp_.Put("forged.txt", "status " + row.kuid + "\nvalidate " + row.kuid + "\n");
    const std::string out = Run({"@" + batch}).out;
    EXPECT_EQ(out.rfind(line + kOk + "\n", 0), 0u) << out;
    EXPECT_NE(out.find(row.finding), std::string::npos) << out;
    EXPECT_FALSE(std::regex_search(out, std::regex("[\\x01-\\x09\\x0B-\\x1F\\x7F]"))) << out;
    // Each line a message or a summary, one summary per batch line.
    EXPECT_TRUE(std::regex_match(out, std::regex("(([-!;+] <[^\n]*|)\n)*OK \\([^\n]*\n\n"
                                                 "(([-!;+] <[^\n]*|)\n)*OK \\([^\n]*\n\n")))
        << out;
  }
}

// A repair that finds a faulty asset exits with 255; every mode prints the
// end of the repair (patcher mode nothing before it, and it starts another
// repair in the background, so it runs last).
TEST_F(DatabaseWordsTest, RepairDatabaseReportsItsEndAndFailsOnAFaultyAsset) {
  ASSERT_NO_FATAL_FAILURE(EmptyDatabase());
  ASSERT_NO_FATAL_FAILURE(Install("broken", "<kuid:-3:1802>", "Broken Van"));
  ASSERT_TRUE(WriteFile(UserDataPath() + "/local/kuid -3 1802/config.txt",
                        Config("<kuid:-3:1899>", "Broken Van", "TC")));
  ToolResult r = Run({"repairdatabase"});
  EXPECT_EQ(r.status, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("1 faulty"), std::string::npos) << r.out;

  ASSERT_NO_FATAL_FAILURE(EmptyDatabase());
  ASSERT_NO_FATAL_FAILURE(Install("repair", "<kuid:-3:1801>", "Sound Van"));
  for (const char* mode : {"Extended", "base", "patcher"}) {
    SCOPED_TRACE(mode);
    r = Run({"repairdatabase", mode});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.rfind("Repairing asset database (this may take some time)\n", 0) == 0,
              std::string(mode) != "patcher")
        << r.out;
    EXPECT_NE(r.out.find("Asset database repair complete: 1 assets checked, 0 faulty"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(r.out.ends_with(kOk)) << r.out;
  }
}

}  // namespace
