// "backupkeywords" and "importkeywords" end to end: the built tool against
// the real daemon, with KUIDs of their own; the restore goes into a second root.
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli/KeywordCommands.h"
#include "kiv/PString.h"
#include "tests/cli/ToolFixture.h"
#include "tests/cli/ToolLoop.h"

namespace fs = std::filesystem;

namespace {

const char kAssetA[] = "<kuid:431907:101>";
const char kAssetB[] = "<kuid:431907:102>";
const char kDump[] =
    "<kuid:431907:101>  \"steam, heavy freight\"\r\n"
    "<kuid:431907:102>  \"\"\r\n";

class KeywordsTest : public ToolFixture {
 protected:
  static ToolResult RunIn(const std::string& root, const std::vector<std::string>& args) {
    return RunProgram(root + "/bin/VandruUtil", args, root + "/bin");
  }

  // Installs the two test assets through the tool of `root`.
  static void InstallAssets(const std::string& root) {
    const std::string scratch = MakeTempFolder();
    for (const char* number : {"101", "102"}) {
      const std::string folder = scratch + "/asset" + number;
      fs::create_directories(folder);
      ASSERT_TRUE(
          WriteFile(folder + "/config.txt", std::string("kuid <kuid:431907:") + number +
                                                ">\r\nusername \"Keyword car " + number +
                                                "\"\r\nkind \"traincar\"\r\ncategory \"TC\"\r\n"));
      ASSERT_TRUE(WriteFile(folder + "/body.txt", "content\n"));
      const ToolResult r = RunIn(root, {"installfrompath", folder});
      ASSERT_EQ(r.status, 0) << r.out << r.err;
    }
  }

  // Backs the keywords of `root` up until kAssetA's are `expected`: the
  // import posts them without awaiting an answer, so the daemon may store
  // them after the command has ended. Bounded to 10 s; false on time-out.
  static bool BackUpUntil(const std::string& root, const std::string& expected) {
    for (int attempt = 0; attempt < 200; ++attempt) {
      const ToolResult backup = RunIn(root, {"backupkeywords"});
      EXPECT_EQ(backup.status, 0) << backup.out << backup.err;
      if (KeywordsOf(root + "/bin/KeywordsBackup.dat", kAssetA) == expected) return true;
      ::usleep(50000);
    }
    return false;
  }

  // The temporary copies of backups left in `folder`.
  static int Temporaries(const std::string& folder) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
      count += entry.path().extension() == ".tmp" ? 1 : 0;
    return count;
  }

  // The keywords of `kuid` in a keyword file (a text soup: empty keywords
  // are written without quotes); "<absent>" when it has no tag.
  static std::string KeywordsOf(const std::string& file, const char* kuid) {
    std::smatch match;
    const std::string text = ReadFile(file);
    if (!std::regex_search(text, match, std::regex(std::string(kuid) + "[ \\t]+\"?([^\"\\r\\n]*)")))
      return "<absent>";
    return match[1].str();
  }
};

// A backup imported into a fresh root holding the same assets gives them
// the same keywords; an asset with empty keywords keeps its tag.
TEST_F(KeywordsTest, BackupImportedIntoFreshRootRestoresKeywords) {
  InstallAssets(Root());
  ASSERT_TRUE(WriteFile(Root() + "/KeywordsDump.dat", kDump));
  const ToolResult imported = Run({"importkeywords"});
  ASSERT_EQ(imported.status, 0) << imported.out << imported.err;
  ASSERT_TRUE(BackUpUntil(Root(), "steam, heavy freight"));
  EXPECT_EQ(Temporaries(BinPath()), 0);

  const std::string fresh = MakeRoot();
  InstallAssets(fresh);
  fs::copy_file(BinPath() + "/KeywordsBackup.dat", fresh + "/KeywordsDump.dat");
  const ToolResult restore = RunIn(fresh, {"importkeywords"});
  EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
  EXPECT_TRUE(BackUpUntil(fresh, "steam, heavy freight"));
  EXPECT_EQ(KeywordsOf(fresh + "/bin/KeywordsBackup.dat", kAssetB), "");
  EXPECT_TRUE(StopDaemonOf(fresh));
}

// A save that cannot write its temporary copy (a file-size limit of one
// byte) fails with an error naming the backup and leaves the old backup as
// it was; a missing dump file fails the import with an error naming the
// file it looked for.
TEST_F(KeywordsTest, FailedSaveKeepsOldBackupAndMissingDumpFails) {
  const std::string backupFile = BinPath() + "/KeywordsBackup.dat";
  ASSERT_TRUE(WriteFile(backupFile, "old backup\r\n"));
  // The daemon is started first, without the limit.
  ASSERT_EQ(Run({"version"}).status, 0);
  const ToolResult failed =
      RunProgram(BinPath() + "/VandruUtil", {"backupkeywords"}, BinPath(), kRunTimeoutMs, 1);
  EXPECT_EQ(Temporaries(BinPath()), 0);
  EXPECT_EQ(failed.status, 255);
  EXPECT_EQ(ReadFile(backupFile), "old backup\r\n");
  EXPECT_NE(failed.out.find("- <NULL> : Unable to save the keyword backup '" + backupFile + "'"),
            std::string::npos)
      << failed.out;
  EXPECT_NE(failed.out.find("OK (1 Errors, 0 Warnings)"), std::string::npos) << failed.out;

  fs::remove(Root() + "/KeywordsDump.dat");
  const ToolResult missing = Run({"importkeywords"});
  EXPECT_EQ(missing.status, 255);
  EXPECT_NE(missing.out.find("- <NULL> : The keyword file '" + Root() +
                             "/KeywordsDump.dat' was not found"),
            std::string::npos)
      << missing.out;
  EXPECT_NE(missing.out.find("OK (1 Errors, 0 Warnings)"), std::string::npos) << missing.out;
}

// An import ends once the daemon has stored its keywords: a backup made
// right after it holds them. Imports one after another leave nothing busy
// in the daemon, so a "status" beside them stays quick and no connection is
// refused.
TEST_F(KeywordsTest, ImportEndsOnceItsKeywordsAreStored) {
  constexpr int kAssets = 20;
  constexpr int kImports = 12;
  const std::string parent = MakeTempFolder();
  std::vector<std::string> kuids;
  for (int asset = 0; asset < kAssets; ++asset) {
    kuids.push_back("<kuid:431907:" + std::to_string(200 + asset) + ">");
    const std::string folder = parent + "/a" + std::to_string(asset);
    fs::create_directories(folder);
    ASSERT_TRUE(WriteFile(folder + "/config.txt",
                          "kuid " + kuids.back() + "\nusername \"Car\"\nkind \"scenery\"\n"));
  }
  const ToolResult installed = Run({"installfrompath", parent});
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;

  ToolLoop status({"status", kuids[0]});
  for (int round = 0; round < kImports; ++round) {
    const std::string keywords = "round " + std::to_string(round);
    std::string dump;
    for (const std::string& kuid : kuids) dump += kuid + " \"" + keywords + "\"\n";
    ASSERT_TRUE(WriteFile(Root() + "/KeywordsDump.dat", dump));
    const ToolResult imported = Run({"importkeywords"});
    ASSERT_EQ(imported.status, 0) << imported.out << imported.err;
    const ToolResult backup = Run({"backupkeywords"});
    ASSERT_EQ(backup.status, 0) << backup.out << backup.err;
    for (const std::string& kuid : kuids) {
      EXPECT_EQ(KeywordsOf(BinPath() + "/KeywordsBackup.dat", kuid.c_str()), keywords)
          << kuid << " in round " << round;
    }
  }
  status.Stop();
  ASSERT_GT(status.Records().size(), 0u);
  for (const ToolLoop::Run& run : status.Records()) {
    EXPECT_EQ(run.result.status, 0) << run.result.out;
    EXPECT_LT(run.Seconds(), 1.0) << "a status beside the imports";
  }
  EXPECT_EQ(ReadFile(UserDataPath() + "/vaddaemon.log").find("refusing a new one"),
            std::string::npos);
}

// Two backups made at once each write a whole file of their own first, so
// both succeed and the backup holds every asset.
TEST_F(KeywordsTest, BackupsAtOnceBothSucceed) {
  InstallAssets(Root());
  for (int round = 0; round < 10; ++round) {
    ToolResult other;
    std::thread second([&] { other = Run({"backupkeywords"}); });
    const ToolResult first = Run({"backupkeywords"});
    second.join();
    EXPECT_EQ(first.status, 0) << first.out;
    EXPECT_EQ(other.status, 0) << other.out;
    EXPECT_EQ(KeywordsOf(BinPath() + "/KeywordsBackup.dat", kAssetB), "");
    EXPECT_NE(KeywordsOf(BinPath() + "/KeywordsBackup.dat", kAssetA), "<absent>");
  }
  EXPECT_EQ(Temporaries(BinPath()), 0);
}

// Keywords that cannot be delivered (no daemon connection here) fail the
// import; a file without tags sends nothing and succeeds.
TEST(KeywordImport, UndeliveredRequestFailsTheImport) {
  const std::string folder = ToolFixture::MakeTempFolder();
  ASSERT_TRUE(ToolFixture::WriteFile(folder + "/KeywordsDump.dat", kDump));
  EXPECT_FALSE(ImportKeywords(Kiv::PString(), folder + "/KeywordsDump.dat", "txt"));
  ASSERT_TRUE(ToolFixture::WriteFile(folder + "/Empty.dat", ""));
  EXPECT_TRUE(ImportKeywords(Kiv::PString(), folder + "/Empty.dat", "txt"));
}

}  // namespace
