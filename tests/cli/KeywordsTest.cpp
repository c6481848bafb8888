// End-to-end tests of "backupkeywords" and "importkeywords": the built tool
// against the real daemon. The fixture's root is shared with the other
// tests of the binary, so these use KUIDs of their own and look only at
// their own tags; the restore goes into a second root laid out here.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/KeywordCommands.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "tests/cli/ToolFixture.h"

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
      bool present = false;
      if (KeywordsOf(root + "/bin/KeywordsBackup.dat", kAssetA, present) == expected) return true;
      ::usleep(50000);
    }
    return false;
  }

  // The keyword tag of `kuid` in a keyword file; `present` tells whether
  // the tag is there at all.
  static std::string KeywordsOf(const std::string& file, const char* kuid, bool& present) {
    Soup soup;
    present = false;
    if (!Soup::LoadFromFile(Kiv::PString(), RenameForLoading(file), soup, true))
      return "<unreadable>";
    // An empty value reads back as a null tag, which only the name shows.
    present = TagListed(soup, kuid);
    return std::string(soup.GetNamedTag(Kiv::PString(kuid)).View());
  }

  // The soup loader picks the form by extension: a copy named ".txt".
  static std::string RenameForLoading(const std::string& file) {
    const std::string copy = MakeTempFolder() + "/keywords.txt";
    fs::copy_file(file, copy);
    return copy;
  }

  static bool TagListed(const Soup& soup, const char* kuid) {
    for (uint32_t i = 0; i < soup.CountTags(); ++i) {
      if (soup.GetIndexedTagName(i).View() == kuid) return true;
    }
    return false;
  }
};

// A backup in one root, imported into a fresh root holding the same assets,
// gives them the same keywords; an asset with empty keywords keeps a tag.
TEST_F(KeywordsTest, BackupImportedIntoFreshRootRestoresKeywords) {
  InstallAssets(Root());
  ASSERT_TRUE(WriteFile(Root() + "/KeywordsDump.dat", kDump));
  const ToolResult imported = Run({"importkeywords"});
  ASSERT_EQ(imported.status, 0) << imported.out << imported.err;

  ASSERT_TRUE(BackUpUntil(Root(), "steam, heavy freight"));
  const std::string backupFile = BinPath() + "/KeywordsBackup.dat";
  bool present = false;
  EXPECT_EQ(KeywordsOf(backupFile, kAssetA, present), "steam, heavy freight");
  EXPECT_TRUE(present);
  EXPECT_EQ(KeywordsOf(backupFile, kAssetB, present), "");
  EXPECT_TRUE(present);
  EXPECT_FALSE(fs::exists(BinPath() + "/KeywordsBackup.tmp"));

  const std::string fresh = MakeRoot();
  InstallAssets(fresh);
  const ToolResult before = RunIn(fresh, {"backupkeywords"});
  ASSERT_EQ(before.status, 0) << before.out << before.err;
  EXPECT_EQ(KeywordsOf(fresh + "/bin/KeywordsBackup.dat", kAssetA, present), "");

  fs::copy_file(backupFile, fresh + "/KeywordsDump.dat");
  const ToolResult restore = RunIn(fresh, {"importkeywords"});
  EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
  EXPECT_TRUE(BackUpUntil(fresh, "steam, heavy freight"));
  EXPECT_EQ(KeywordsOf(fresh + "/bin/KeywordsBackup.dat", kAssetB, present), "");
  EXPECT_TRUE(present);

  EXPECT_EQ(RunIn(fresh, {"closevaddaemon"}).status, 0);
}

// A save that cannot write its temporary copy fails and leaves the old
// backup as it was; a missing dump file fails the import.
TEST_F(KeywordsTest, FailedSaveKeepsOldBackupAndMissingDumpFails) {
  const std::string backupFile = BinPath() + "/KeywordsBackup.dat";
  ASSERT_TRUE(WriteFile(backupFile, "old backup\r\n"));
  const std::string blocker = BinPath() + "/KeywordsBackup.tmp";
  fs::create_directories(blocker);
  const ToolResult failed = Run({"backupkeywords"});
  fs::remove_all(blocker);
  EXPECT_EQ(failed.status, 255);
  EXPECT_EQ(ReadFile(backupFile), "old backup\r\n");

  fs::remove(Root() + "/KeywordsDump.dat");
  EXPECT_EQ(Run({"importkeywords"}).status, 255);
}

// Keywords that cannot be delivered (this test process has no daemon
// connection) are reported as a failure; a file without tags sends nothing
// and succeeds.
TEST(KeywordImport, UndeliveredRequestFailsTheImport) {
  const std::string folder = ToolFixture::MakeTempFolder();
  ASSERT_TRUE(ToolFixture::WriteFile(folder + "/KeywordsDump.dat", kDump));
  EXPECT_FALSE(ImportKeywords(Kiv::PString(), folder + "/KeywordsDump.dat", "txt"));

  ASSERT_TRUE(ToolFixture::WriteFile(folder + "/Empty.dat", ""));
  EXPECT_TRUE(ImportKeywords(Kiv::PString(), folder + "/Empty.dat", "txt"));
  EXPECT_FALSE(ImportKeywords(Kiv::PString(), folder + "/Missing.dat", "txt"));
}

}  // namespace
