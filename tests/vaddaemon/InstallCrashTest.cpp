// A daemon killed in the middle of an archive install: after a restart the
// index is consistent (each asset fully installed or absent, no staging
// left) and the new daemon owns the database.
#include <signal.h>

#include "tests/support/WaitUntil.h"
#include "tests/vaddaemon/DaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"

namespace {

using namespace installtest;

const KUID kDone{4002, 1, 0};
const KUID kCut{4002, 2, 0};

bool HasStagingFolder(const std::string& userData) {
  for (const std::string& name : LocalFolders(userData)) {
    if (name.starts_with(".vadtmp-")) return true;
  }
  return false;
}

class DaemonInstallCrash : public DaemonFixture {
 protected:
  bool AutoStart() const override { return false; }
};

TEST_F(DaemonInstallCrash, KillDuringInstallLeavesAssetWholeOrAbsentAndRestartTakesOver) {
  const fs::path archive = fs::path(Root()) / "source" / "two.cdp";
  fs::create_directories(archive.parent_path());
  const FileMap files = {{"body.im", std::string(20000, 'b')}, {"sub/skin.texture", "skin"}};
  WriteArchive(archive,
               {MakeEntry(kDone, "Done", files, true), MakeEntry(kCut, "Cut", files, true)});

  // Each entry pauses before the store records it: the kill lands while
  // the second asset sits extracted in its staging folder.
  const pid_t first = StartDaemon({"VADDAEMON_TEST_INSTALL_PAUSE_MS=1500"});
  ASSERT_NE(first, 0);
  {
    RawClient client;
    ASSERT_TRUE(client.Open(daemons_.WaitForPort(first), AssetIndexPath()));
    ASSERT_TRUE(client.SendRequest(kInstallArchive, 1, InstallBody(archive.string(), 2, 0)));
    RawClient::Frame frame;
    ASSERT_TRUE(client.ReadFrame(frame, 20000));
    ASSERT_TRUE(frame.IsNote());
    ASSERT_TRUE(HasMessage(MessagesFor({frame}, 1), ResultsLog::kSuccess, "Installed"));
    // The second entry is now being extracted or waiting to be recorded.
    EXPECT_TRUE(VUTest::WaitUntil([&] { return HasStagingFolder(UserDataPath()); }, 10000))
        << "the kill should find a staging folder";
    daemons_.Kill(first);
  }

  const pid_t second = StartDaemon();
  ASSERT_NE(second, 0);
  const OwnerBlock block = daemons_.ReadOwnerBlock();
  EXPECT_EQ(block.owner, uint32_t(second));
  EXPECT_NE(block.port, 0u);
  RawClient client;
  ASSERT_TRUE(client.Open(uint16_t(block.port), AssetIndexPath()));

  EXPECT_FALSE(HasStagingFolder(UserDataPath())) << "a staging folder was left";
  EXPECT_EQ(LocalFolders(UserDataPath()).size(), 1u);

  // The first asset is whole; the second is absent.
  Bytes reply;
  ASSERT_TRUE(client.Transact(kExportEntry, 2, ExportBody(kDone, 3), &reply));
  Soup entry = SoupFrom(reply);
  ASSERT_FALSE(entry.IsNull());
  const fs::path out = fs::path(Root()) / "out";
  EXPECT_EQ(ExtractEntry(entry, out), "");
  EXPECT_EQ(Summary(FilesBelow(out)), Summary(files));
  ASSERT_TRUE(client.Transact(kExportEntry, 3, ExportBody(kCut, 3), &reply));
  EXPECT_TRUE(reply.empty());

  // The archive installs again: the cut asset is new, the whole one becomes
  // an edit copy.
  std::vector<RawClient::Frame> notes;
  ASSERT_TRUE(client.Transact(kInstallArchive, 4, InstallBody(archive.string(), 2, 0), &reply,
                              &notes, 30000));
  EXPECT_EQ(BodyReader(reply).U32(), 2u);
}

}  // namespace
