// The real client library against the real daemon: the client starts the
// daemon on first use, from the installation's bin folder, and finds its
// port in the owner block.
#include "assetdb/client/NetStartup.h"
#include "assetdb/client/SettingsRequests.h"
#include "assetdb/client/VADClient.h"
#include "foundation/layout/FolderLayout.h"
#include "tests/vaddaemon/DaemonFixture.h"

namespace {

class DaemonClientEndToEnd : public DaemonFixture {
 protected:
  bool AutoStart() const override { return false; }
  void TearDown() override {
    VADClient::Close();
    VADClient::SetTimings(VADClientTimings());
    ResetFolderLayoutForTests();
    DaemonFixture::TearDown();
  }
};

TEST_F(DaemonClientEndToEnd, ClientStartsTheDaemonOnFirstUseAndRequestsComplete) {
  NetStartup();
  ASSERT_TRUE(DetermineInstallPath(Kiv::File::Path(Root())));
  ASSERT_EQ(GetDaemonExecutablePath().Str(), Root() + "/bin/vaddaemon");
  ASSERT_EQ(daemons_.ReadOwnerBlock().port, 0u);

  VADClientTimings timings;
  timings.attemptDelayMs = 300;
  timings.attempts = 40;
  VADClient::SetTimings(timings);
  VADClientOptions options;
  options.restartDaemon = true;
  ASSERT_TRUE(VADOpenDatabase(options));
  const OwnerBlock block = daemons_.ReadOwnerBlock();
  ASSERT_NE(block.port, 0u);
  const pid_t pid = pid_t(block.owner);
  daemons_.Adopt(pid);

  // The requests themselves are ClientRoundTripTest's.
  EXPECT_TRUE(
      WriteSetting(Kiv::PString("internet"), Kiv::PString("language"), Kiv::PString("francais")));

  EXPECT_TRUE(VADClient::CloseDaemon());
  VADClient::Close();
  EXPECT_EQ(daemons_.WaitExit(pid, 10000), 0);
  EXPECT_EQ(daemons_.ReadOwnerBlock().port, 0u);
}

}  // namespace
