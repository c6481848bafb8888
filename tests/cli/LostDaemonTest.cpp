// The built tool against the scripted fake daemon, which stands in for the
// root's daemon (published in the root's database-owner block, as a daemon
// publishes itself): a daemon that goes away in the middle of an install
// (dropping the connection the way a killed process's connection ends),
// and the requests of the status line.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "assetdb/protocol/DatabaseIpc.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/FakeDaemon.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kInstallFolder = 0x27;
constexpr uint32_t kInstallArchive = 0x28;
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
      {"archive", {"installcdp", work + "/missing.cdp"}, kInstallArchive, false},
      {"second folder", {"installfrompath", two}, kInstallFolder, true},
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
    EXPECT_NE(result.out.find(std::string(kLostLine) + "\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("OK (1 Errors, 0 Warnings)\n"), std::string::npos) << result.out;
  }
}

// The status line takes every flag from the one information record: the
// daemon is asked for it once, then the tool says goodbye.
TEST_F(LostDaemon, StatusLineComesFromOneInformationRequest) {
  constexpr uint32_t kGetAssetInfo = 0x15;
  TBuffer record;
  WriteKUID(record, KUID{123, 760001, 0});
  record.WriteString("Flat Wagon");
  record.WriteString("");
  record.WriteString("");
  // Installed locally (3), faulty (9), missing dependencies (11).
  for (int bit = 0; bit < 18; ++bit) TStreamWriteBool(record, bit == 3 || bit == 9 || bit == 11);
  TStreamWriteU32(record, 0);
  record.WritePString(Kiv::PString("local"));
  record.WriteString("");
  TStreamWriteU32(record, uint32_t(-1));
  record.WritePString(Kiv::PString("traincar"));
  record.WriteString("TC");
  for (int bit = 0; bit < 3; ++bit) TStreamWriteBool(record, false);
  TStreamWriteU32(record, 0);
  TStreamWriteFloat(record, 3.5f);
  TStreamWriteU64(record, 0);
  TStreamWriteU64(record, 0);
  WriteKUID(record, KUID());
  TStreamWriteBool(record, true);
  const uint8_t* bytes = record.GetData()->Data();

  FakeDaemon daemon;
  daemon.ExpectHandshake().ServeUntil(kGetAssetInfo);
  daemon.Reply(FakeDaemon::Bytes(bytes, bytes + record.GetSize()));
  daemon.ExpectGoodbye();
  daemon.Start();
  Owner owner(daemon);
  ASSERT_TRUE(owner.Claimed());
  const ToolResult result = Run({"status", "<kuid:123:760001>"});
  EXPECT_TRUE(daemon.WaitDone(10000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  EXPECT_EQ(result.out, "+ <kuid:123:760001> : eIadlMF : TC : Flat Wagon\nOK (0 Errors, 0 Warnings)\n")
      << result.err;
}

}  // namespace
