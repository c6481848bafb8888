// What the built tool refuses to read from an asset folder, end to end: a
// link to a file outside the folder in every command that reads one, and
// the files an export or an archive install leaves out, each named in a
// warning.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "tests/assetdb/CDPTestSupport.h"
#include "tests/cli/ToolFixture.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSecret[] = "root:x:0:0:private line\n";

bool Has(const ToolResult& r, const std::string& text) {
  return r.out.find(text) != std::string::npos;
}

class AssetFolderEntries : public ToolFixture {
 protected:
  // An asset folder of kind scenery under a fresh folder, holding `files`.
  static std::string MakeAsset(const std::string& kuid,
                               const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string folder = MakeTempFolder() + "/asset";
    fs::create_directories(folder);
    EXPECT_TRUE(WriteFile(folder + "/config.txt",
                          "kuid " + kuid +
                              "\nusername \"Crate\"\nkind \"scenery\"\nvandru-build 3.4\n"
                              "category-class \"BA\"\n"));
    for (const auto& [name, text] : files) EXPECT_TRUE(WriteFile(folder + "/" + name, text));
    return folder;
  }

  // A private file outside every asset folder.
  static std::string Secret() {
    const std::string path = MakeTempFolder() + "/passwd";
    EXPECT_TRUE(WriteFile(path, kSecret));
    return path;
  }

  // True when some file below `folder` holds the secret's text.
  static bool HoldsSecret(const std::string& folder) {
    std::error_code error;
    for (const auto& item : fs::recursive_directory_iterator(folder, error)) {
      if (item.is_regular_file() && ReadFile(item.path()).find("private line") != std::string::npos)
        return true;
    }
    return false;
  }

  static std::string LinkRefusal(const std::string& path) {
    return "The file '" + path + "' is a link to a file outside the asset folder and is refused";
  }
};

// installfrompath, compresstexture, validate and commit refuse the folder
// and name the link; nothing of the linked file reaches the store.
TEST_F(AssetFolderEntries, LinkToAFileOutsideTheFolderIsRefusedByEveryCommand) {
  const std::string secret = Secret();
  const std::string source = MakeAsset("<kuid:123:750001>", {{"body.txt", "body\n"}});
  fs::create_symlink(secret, source + "/passwd.txt");
  ToolResult r = Run({"installfrompath", source});
  EXPECT_TRUE(Has(r, "- <kuid:123:750001> : Unable to install <kuid:123:750001>: ")) << r.out;
  EXPECT_TRUE(Has(r, LinkRefusal(source + "/passwd.txt"))) << r.out;
  EXPECT_FALSE(HoldsSecret(UserDataPath())) << r.out;

  r = Run({"compresstexture", source});
  EXPECT_EQ(r.status, 255) << r.out;
  EXPECT_TRUE(Has(r, LinkRefusal(source + "/passwd.txt"))) << r.out;

  // A link inside the folder is fine: it is copied as its file.
  fs::remove(source + "/passwd.txt");
  fs::create_symlink("body.txt", source + "/again.txt");
  r = Run({"installfrompath", source});
  ASSERT_EQ(r.status, 0) << r.out;

  // A link put into the installed copy behind the daemon's back.
  const std::string installed = UserDataPath() + "/local/kuid 123 750001";
  ASSERT_TRUE(fs::exists(installed + "/again.txt"));
  fs::create_symlink(secret, installed + "/passwd.txt");
  r = Run({"validate", "<kuid:123:750001>"});
  EXPECT_TRUE(Has(r, LinkRefusal(installed + "/passwd.txt"))) << r.out;
  EXPECT_TRUE(Has(r, "OK (1 Errors, 0 Warnings)")) << r.out;
  fs::remove(installed + "/passwd.txt");

  r = Run({"edit", "<kuid:123:750001>"});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string editing = UserDataPath() + "/editing/kuid 123 750001";
  ASSERT_TRUE(fs::exists(editing + "/config.txt")) << r.out;
  fs::create_symlink(secret, editing + "/passwd.txt");
  r = Run({"commit", "<kuid:123:750001>"});
  EXPECT_EQ(r.status, 255) << r.out;
  EXPECT_TRUE(Has(r, LinkRefusal(editing + "/passwd.txt"))) << r.out;
  EXPECT_FALSE(HoldsSecret(UserDataPath() + "/local")) << r.out;

  fs::remove(editing + "/passwd.txt");
  r = Run({"commit", "<kuid:123:750001>"});
  EXPECT_EQ(r.status, 0) << r.out;
}

// Every file an export leaves out is named in a warning with the reason;
// the archive is still written and the command succeeds.
TEST_F(AssetFolderEntries, FilesLeftOutOfAnArchiveAreNamedInWarnings) {
  const std::string source = MakeAsset("<kuid:123:750002>", {{"body.txt", "body\n"},
                                                             {"notes.md", "# notes\n"},
                                                             {"data.bin", "\x01\x02"},
                                                             {"wood.png", "png"}});
  ToolResult r = Run({"installfrompath", source});
  ASSERT_EQ(r.status, 0) << r.out;
  // Entries no install makes, added behind the daemon's back.
  const std::string installed = UserDataPath() + "/local/kuid 123 750002";
  ASSERT_TRUE(fs::exists(installed + "/config.txt"));
  fs::create_symlink(Secret(), installed + "/passwd.txt");
  fs::create_symlink("body.txt", installed + "/copy.txt");
  ASSERT_TRUE(WriteFile(installed + "/bad:name.txt", "x"));

  const std::string work = MakeTempFolder();
  r = Run({"createcdp", work + "/out.cdp", "<kuid:123:750002>"});
  EXPECT_EQ(r.status, 0) << r.out;
  const struct {
    const char* name;
    const char* why;
  } expected[] = {
      {"bad:name.txt", "its name has characters an archive does not carry"},
      {"copy.txt", "it is a link, and an archive carries only plain files"},
      {"data.bin", "an archive carries no file of its type"},
      {"notes.md", "an archive carries no file of its type"},
      {"passwd.txt", "it is a link to a file outside the asset folder"},
      {"wood.png", "an archive carries no file of its type"},
  };
  for (const auto& e : expected) {
    EXPECT_TRUE(Has(r, std::string("! <kuid:123:750002> : The file '") + e.name +
                           "' is left out of the archive: " + e.why + "."))
        << e.name << "\n"
        << r.out;
  }
  EXPECT_TRUE(Has(r, "OK (0 Errors, 6 Warnings)")) << r.out;
  EXPECT_TRUE(fs::exists(work + "/out.cdp"));
  EXPECT_EQ(ReadFile(work + "/out.cdp").find("private line"), std::string::npos);
}

// An archive's files whose names or types no install writes are left out,
// each named (escaped) in a warning with the reason and counted; the good
// file is installed. Both install paths say so: the daemon's (installcdp)
// and the client's own steps (fcyparse).
TEST_F(AssetFolderEntries, FilesAnInstallLeavesOutAreNamedInWarnings) {
  constexpr char kBadName[] = "its name is not a valid file name";
  const struct {
    std::string name, shown, why;
  } refused[] = {
      {"a\nb.txt", "a\\x0Ab.txt", kBadName},
      {"../x.txt", "../x.txt", kBadName},
      {"/abs.txt", "/abs.txt", kBadName},
      {"..", "..", kBadName},
      {"", "", kBadName},
      {"run.sh", "run.sh", "an install writes no file of its type"},
  };
  const auto archiveOf = [&](const std::string& kuid) {
    Soup files, folder, archive;
    cdptest::AddFile(files, "body.txt", "body\n");
    for (const auto& r : refused) cdptest::AddFile(files, r.name, kSecret);
    cdptest::AddFile(folder, "inner.txt", kSecret);
    files.SetNamedSoup(Kiv::PString("sub\x1B"), folder);
    Soup entry = cdptest::MakeEntry(ParseKUID(kuid.c_str(), true));
    entry.SetNamedSoup(CDP::Tag::Files(), files);
    Kiv::PString message;
    CDP::AddContent(archive, message, entry);
    const std::string path = MakeTempFolder() + "/refused.cdp";
    CDP::WriteArchive(archive, message, path);
    EXPECT_TRUE(message.Empty()) << message.c_str();
    return path;
  };
  for (const std::string key : {"750003", "750004"}) {
    const std::string kuid = "<kuid:123:" + key + ">";
    const char* command = key == "750003" ? "installcdp" : "fcyparse";
    SCOPED_TRACE(command);
    const ToolResult r = Run({command, archiveOf(kuid)});
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string warning = "! " + kuid + " : The ";
    for (const auto& e : refused) {
      EXPECT_TRUE(
          Has(r, warning + "file '" + e.shown + "' is left out of the install: " + e.why + ".\n"))
          << r.out;
    }
    EXPECT_TRUE(Has(r, warning + "folder 'sub\\x1B' is left out of the install: its name is not "
                                 "a valid folder name.\n"))
        << r.out;
    // fcyparse's validation may warn too: installcdp's summary is exact.
    if (key == "750003") {
      EXPECT_TRUE(r.out.ends_with("OK (0 Errors, 7 Warnings)\n")) << r.out;
    }
    const std::string installed = UserDataPath() + "/local/kuid 123 " + key;
    EXPECT_EQ(ReadFile(installed + "/body.txt"), "body\n");
    EXPECT_FALSE(HoldsSecret(installed));
    EXPECT_FALSE(fs::exists(UserDataPath() + "/local/x.txt"));
  }
}

}  // namespace
