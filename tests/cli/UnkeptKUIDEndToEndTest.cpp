// KUIDs that the asset database cannot keep as written, end to end. A KUID
// tag holds a user id only in -16777216..16777215, so a configuration that
// names a valid KUID beyond that would read as another asset's KUID. An
// install from a folder, an install from an archive and a commit each
// refuse it, naming the KUID as written; typed on the command line it names
// no asset. The other asset stays as it was, also after a restart.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "foundation/soup/Soup.h"
#include "tests/cli/ToolFixture.h"

namespace {

namespace fs = std::filesystem;

struct Unkept {
  const char* written;  // as the configuration names it
  const char* other;    // the installed asset that it would read as
  const char* why;
};

constexpr char kBelow[] = "its user id lies below -16777216, the lowest that the asset database keeps";
constexpr char kBeyond[] =
    "its user id lies beyond 16777215, the highest that the asset database keeps";

const Unkept kCases[] = {
    {"<kuid:-16777217:5>", "<kuid2:16777215:5:127>", kBelow},
    {"<kuid:-20000000:1>", "<kuid2:13554432:1:127>", kBelow},
    {"<kuid2:20000000:1:127>", "<kuid:-13554432:1>", kBeyond},
};

class UnkeptKUID : public ToolFixture {
 protected:
  // An asset folder whose configuration names `kuid` and the name
  // "Intruder"; its path.
  static std::string IntruderFolder(const std::string& kuid) {
    const std::string folder = MakeTempFolder() + "/intruder";
    fs::create_directories(folder);
    EXPECT_TRUE(WriteFile(folder + "/config.txt",
                          "kuid " + kuid + "\nusername \"Intruder\"\nkind \"scenery\"\n"));
    EXPECT_TRUE(WriteFile(folder + "/marker.txt", "intruder\n"));
    return folder;
  }

  // An archive of one entry whose "kuid" names `kuid` as text, as a
  // configuration read from its text form carries it; its path.
  static std::string IntruderArchive(const std::string& kuid) {
    Soup entry = CDP::MakeLZSSOptions();
    entry.SetNamedTag(Kiv::PString("kuid"), std::string_view(kuid));
    entry.SetNamedTag(Kiv::PString("kind"), std::string_view("scenery"));
    entry.SetNamedTag(Kiv::PString("username"), std::string_view("Intruder"));
    Soup archive;
    Kiv::PString message;
    CDP::AddContent(archive, message, entry);
    const std::string path = MakeTempFolder() + "/intruder.cdp";
    CDP::WriteArchive(archive, message, path);
    EXPECT_TRUE(message.View().empty()) << message.View();
    return path;
  }

  // The edit copy's configuration with its "kuid" line naming `kuid`.
  static void NameInEditCopy(const std::string& folder, const std::string& kuid) {
    std::string config = ReadFile(folder + "/config.txt");
    const size_t at = config.find("kuid ");
    ASSERT_NE(at, std::string::npos) << config;
    config.replace(at, config.find('\n', at) - at, "kuid " + kuid);
    ASSERT_TRUE(WriteFile(folder + "/config.txt", config));
  }
};

TEST_F(UnkeptKUID, IsRefusedByEveryInstallAndLeavesTheOtherAssetAsItWas) {
  for (const Unkept& c : kCases) {
    SCOPED_TRACE(c.written);
    const std::string other = c.other;
    const ToolResult installed = InstallScenery(other, "", {{"marker.txt", "other\n"}});
    ASSERT_NE(installed.out.find("Installed " + other + "."), std::string::npos) << installed.out;
    const std::string status = Run({"status", other}).out;
    const std::string refused = "Unable to install " + std::string(c.written) + ": " + c.why + ".";

    ToolResult r = Run({"installfrompath", IntruderFolder(c.written)});
    EXPECT_NE(r.out.find(refused), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Installed"), std::string::npos) << r.out;
    EXPECT_EQ(Run({"status", other}).out, status);

    r = Run({"installcdp", IntruderArchive(c.written)});
    EXPECT_EQ(r.status, 255) << r.out;
    EXPECT_NE(r.out.find(refused), std::string::npos) << r.out;
    EXPECT_EQ(Run({"status", other}).out, status);

    // A commit whose edit copy was made to name it keeps the edit open.
    r = Run({"edit", other});
    const std::string head = "+ " + other + " : ";
    ASSERT_EQ(r.out.rfind(head, 0), 0u) << r.out;
    const std::string folder = r.out.substr(head.size(), r.out.find('\n') - head.size());
    ASSERT_NO_FATAL_FAILURE(NameInEditCopy(folder, c.written));
    r = Run({"commit", other});
    EXPECT_EQ(r.status, 255) << r.out;
    EXPECT_NE(r.out.find("the configuration names " + std::string(c.written) + ": " + c.why),
              std::string::npos)
        << r.out;
    EXPECT_NE(ReadFile(folder + "/config.txt").find(c.written), std::string::npos);
    ASSERT_EQ(Run({"revert", other}).status, 0);
    // Typed on the command line, it names no asset: nothing is deleted.
    r = Run({"delete", c.written});
    EXPECT_EQ(r.status, 255) << r.out;
    EXPECT_EQ(r.out.find(other), std::string::npos) << r.out;

    EXPECT_EQ(Run({"status", other}).out, status);
    StopDaemon();
    EXPECT_EQ(Run({"status", other}).out, status);
    for (const auto& file : fs::recursive_directory_iterator(UserDataPath() + "/local")) {
      if (file.path().filename() != "marker.txt") continue;
      EXPECT_EQ(ReadFile(file.path()), "other\n") << file.path();
    }
  }
}

}  // namespace
