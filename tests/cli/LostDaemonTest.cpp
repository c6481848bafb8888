// The built tool when its daemon goes away in the middle of an install: the
// scripted fake daemon stands in for the root's daemon (published in the
// root's database-owner block, as a daemon publishes itself) and drops the
// connection the way a killed process's connection ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "assetdb/protocol/DatabaseIpc.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/text/KUID.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/FakeDaemon.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kAssetInfo = 0x15;
constexpr uint32_t kOpenHandle = 0x1E;
constexpr uint32_t kGenerateKUID = 0x3A;
constexpr uint32_t kInstallFolder = 0x27;
constexpr uint32_t kInstallArchive = 0x28;
constexpr uint32_t kInstallFolders = 0x29;
const char* const kLostLine =
    "- <NULL> : The connection to the asset-database daemon was lost; the command could not be "
    "completed.";

class LostDaemon : public ToolFixture {
 protected:
  // Publishes `daemon` as the owner of the root's database for the life of
  // this object.
  class Owner {
   public:
    explicit Owner(const FakeDaemon& daemon) {
      fs::create_directories(UserDataPath());
      DetermineInstallPath(Kiv::File::Path(Root()));
      claimed_ = ipc_.Open(GetAssetIndexPath()) && ipc_.ClaimOwnership(daemon.Port());
      ResetFolderLayoutForTests();
    }
    bool Claimed() const { return claimed_; }

   private:
    DatabaseIpc ipc_;  // Closing gives the ownership back.
    bool claimed_ = false;
  };

  static std::string AssetFolder(const std::string& parent, const std::string& name,
                                 const std::string& kuid) {
    const std::string folder = parent + "/" + name;
    fs::create_directories(folder);
    WriteFile(folder + "/config.txt", "kuid " + kuid + "\nkind scenery\n");
    return folder;
  }
};

TEST_F(LostDaemon, InstallFailsWithAClearMessageWhenTheConnectionDrops) {
  const std::string work = MakeTempFolder();
  const std::string one = AssetFolder(work + "/one", "asset", "<kuid:123:750001>");
  const std::string two = work + "/two";
  AssetFolder(two, "a", "<kuid:123:750002>");
  AssetFolder(two, "b", "<kuid:123:750003>");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    uint32_t dropAt;     // The request during which the daemon goes.
    bool answerItFirst;  // The daemon answers it, then goes: the next request finds no daemon.
  };
  const Case cases[] = {
      {"folder", {"installfrompath", one}, kInstallFolder, false},
      {"folders together", {"installfrompath", two}, kInstallFolders, false},
      {"archive", {"installcdp", work + "/missing.cdp"}, kInstallArchive, false},
      {"second folder", {"installfrompath", two}, kInstallFolder, true},
      // A request cut off says nothing of the asset or the KUID asked for.
      {"edit", {"edit", "<kuid:0:9401>"}, kOpenHandle, false},
      {"createcdp", {"createcdp", work + "/out.cdp", "<kuid:0:9401>"}, kAssetInfo, false},
      {"generatekuid", {"generatekuid"}, kGenerateKUID, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDaemon daemon;
    daemon.ExpectHandshake().ServeUntil(c.dropAt);
    if (c.answerItFirst) daemon.Reply({});
    daemon.Drop();
    daemon.Start();
    Owner owner(daemon);
    ASSERT_TRUE(owner.Claimed());
    ToolResult result = Run(c.args);
    EXPECT_TRUE(daemon.WaitDone(10000));
    for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
    EXPECT_EQ(result.status, 255) << result.out << result.err;
    EXPECT_EQ(result.out, std::string(kLostLine) + "\nOK (1 Errors, 0 Warnings)\n");
  }
}

// A daemon that answers the KUID request with the null KUID made none: no
// KUID is printed, and the error gives the daemon's reason.
TEST_F(LostDaemon, GenerateKUIDPrintsNoKUIDThatTheDaemonDidNotMake) {
  FakeDaemon::Bytes reply = FakeDaemon::Words({~0u, KUIDPackWord(kNullKUID), 16});
  for (const char c : std::string("the disk is full")) reply.push_back(uint8_t(c));
  FakeDaemon daemon;
  daemon.ExpectHandshake().ServeUntil(kGenerateKUID).Reply(reply).Serve({});
  daemon.Start();
  Owner owner(daemon);
  ASSERT_TRUE(owner.Claimed());
  const ToolResult result = Run({"generatekuid"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out,
            "- <NULL> : Unable to generate a KUID: the disk is full.\nOK (1 Errors, 0 Warnings)\n");
}

}  // namespace
