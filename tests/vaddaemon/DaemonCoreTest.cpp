// The daemon's core as a process: handshake, keep-alive, unknown codes,
// settings, several clients, hostile bytes, single ownership, idle exit and
// the close request.
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "assetdb/protocol/DatabaseIpcNames.h"
#include "assetdb/protocol/VADFrames.h"
#include "tests/vaddaemon/DaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"

namespace {

using namespace installtest;

// The PString of a 0x66 reply; "<damaged>" when it does not read whole.
std::string ValueOf(const Bytes& reply) {
  BodyReader reader(reply);
  std::string value = reader.String();
  return reader.AtEnd() ? value : "<damaged>";
}

std::string ReadSetting(RawClient& client, uint32_t id, std::string_view group,
                        std::string_view key) {
  Bytes reply;
  if (!client.Transact(kReadSetting, id, Body().PStr(group).PStr(key), &reply)) return "<no reply>";
  return ValueOf(reply);
}

bool WriteSetting(RawClient& client, uint32_t id, std::string_view group, std::string_view key,
                  std::string_view value) {
  Bytes reply;
  return client.Transact(kWriteSetting, id, Body().PStr(group).PStr(key).PStr(value), &reply) &&
         reply.empty();
}

Bytes SoupWithText(std::string_view name, std::string_view text) {
  Soup soup;
  soup.SetNamedTag(N(name), text);
  return SoupBytes(soup);
}

using DaemonCore = DaemonFixture;

class DaemonIdle : public DaemonFixture {
 protected:
  bool AutoStart() const override { return false; }
};

// The handshake answer's bytes are DaemonServerTest's.
TEST_F(DaemonCore, HandshakeIsAnsweredAndKeepAliveAndUnknownCodesGetEmptyReplies) {
  // A client naming a database in another folder is not served: its
  // connection is closed unanswered.
  RawClient elsewhere;
  ASSERT_TRUE(elsewhere.Connect(Port()) &&
              elsewhere.SendHandshake("/elsewhere/UserData/assets.tdx", 0));
  EXPECT_TRUE(elsewhere.WaitClosed());
  RawClient other;
  ASSERT_TRUE(other.Open(Port(), AssetIndexPath(), 0));
  Bytes reply = {1};
  ASSERT_TRUE(other.Transact(kKeepAlive, 7, {}, &reply));
  EXPECT_TRUE(reply.empty());
  // Unknown codes get an empty reply too.
  reply = {1};
  ASSERT_TRUE(other.Transact(0x7777, 8, {1, 2, 3}, &reply));
  EXPECT_TRUE(reply.empty());
  // A one-way request of an unknown code gets no reply either: the next
  // frame is the keep-alive's.
  ASSERT_TRUE(other.SendRequest(0x7778, 0, {9}));
  RawClient::Frame frame;
  ASSERT_TRUE(other.SendRequest(kKeepAlive, 9, {}));
  ASSERT_TRUE(other.ReadFrame(frame));
  EXPECT_TRUE(frame.IsReply());
  EXPECT_EQ(frame.word, 9u);
}

// Plain reads and writes of settings and groups are the client round
// trips' (ClientRoundTripTest, DaemonClientEndToEndTest) and their
// durability the store's and NewDaemonTakesOverAfterTheFirstIsKilled's;
// here what the client never sends.
TEST_F(DaemonCore, SettingsRefuseDamagedBodies) {
  auto client = Connect();
  ASSERT_TRUE(client);
  ASSERT_TRUE(WriteSetting(*client, 1, "internet", "language", "english"));
  Bytes reply;
  ASSERT_TRUE(client->Transact(kWriteSettingsGroup, 2,
                               Body().PStr("display").Raw(SoupWithText("mode", "wide")), &reply));
  // An unknown group reads as the empty soup; a damaged soup leaves the
  // group as it was; a body cut short gets an empty reply and the
  // connection stays usable.
  ASSERT_TRUE(client->Transact(kReadSettingsGroup, 3, Body().PStr("nothing"), &reply));
  EXPECT_EQ(reply, SoupBytes(Soup()));
  const Bytes damaged = {0x41, 0x43, 0x53, 0x24, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0};
  ASSERT_TRUE(
      client->Transact(kWriteSettingsGroup, 4, Body().PStr("display").Raw(damaged), &reply));
  EXPECT_EQ(ReadSetting(*client, 5, "display", "mode"), "wide");
  ASSERT_TRUE(client->Transact(kReadSetting, 6, Bytes{200, 0, 0, 0, 'x'}, &reply));
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(ReadSetting(*client, 7, "other", "language"), "");
}

// The frame reader's refusals are DaemonServerTest's; here a refused
// connection leaves the others served.
TEST_F(DaemonCore, HostileBytesCloseOnlyTheirConnection) {
  auto bystander = Connect();
  ASSERT_TRUE(bystander);

  // Not a handshake.
  RawClient garbage;
  ASSERT_TRUE(garbage.Connect(Port()));
  ASSERT_TRUE(garbage.Send(Bytes{'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P'}));
  EXPECT_TRUE(garbage.WaitClosed());

  // The daemon still serves the connection opened before, and new ones.
  EXPECT_EQ(ReadSetting(*bystander, 1, "internet", "language"), "");
  auto fresh = Connect();
  ASSERT_TRUE(fresh);
  Bytes reply;
  EXPECT_TRUE(fresh->Transact(kKeepAlive, 2, {}, &reply));
}

TEST_F(DaemonCore, SecondDaemonRefusesWhileTheFirstLives) {
  const pid_t second = SpawnDaemon();
  ASSERT_NE(second, 0);
  const int status = daemons_.WaitExit(second, 10000);
  EXPECT_EQ(status, 2);
  EXPECT_NE(daemons_.Output(1).find("another daemon (process " + std::to_string(DaemonPid())),
            std::string::npos)
      << daemons_.Output(1);
  // The first keeps its block and its port.
  const OwnerBlock block = daemons_.ReadOwnerBlock();
  EXPECT_EQ(block.owner, uint32_t(DaemonPid()));
  EXPECT_EQ(block.port, Port());
  auto client = Connect();
  ASSERT_TRUE(client);
}

TEST_F(DaemonCore, NewDaemonTakesOverAfterTheFirstIsKilled) {
  auto client = Connect();
  ASSERT_TRUE(client);
  ASSERT_TRUE(WriteSetting(*client, 1, "internet", "language", "deutsch"));
  daemons_.Kill(DaemonPid());
  EXPECT_TRUE(client->WaitClosed());
  // The dead owner's entry is still in the block. The test does not open
  // the block (which would clear it) until the new daemon says it serves.
  const pid_t next = SpawnDaemon();
  ASSERT_NE(next, 0);
  VUTest::WaitUntil(
      [&] {
        return daemons_.Output(1).find(" serves ") != std::string::npos ||
               !daemons_.IsRunning(next);
      },
      10000, 20);
  ASSERT_NE(daemons_.Output(1).find(" serves "), std::string::npos) << daemons_.Output(1);
  const uint16_t port = daemons_.WaitForPort(next, 0);
  ASSERT_NE(port, 0);
  RawClient again;
  ASSERT_TRUE(again.Open(port, AssetIndexPath()));
  EXPECT_EQ(ReadSetting(again, 1, "internet", "language"), "deutsch");
}

TEST_F(DaemonIdle, ExitsAfterTheIdleTimeButNotWhileAClientIsConnected) {
  const pid_t pid = StartDaemon({"VADDAEMON_IDLE_SECONDS=1"});
  ASSERT_NE(pid, 0);
  RawClient client;
  ASSERT_TRUE(client.Open(daemons_.WaitForPort(pid, 0), AssetIndexPath()));
  // Past the idle time it still runs while the client is connected.
  EXPECT_EQ(daemons_.WaitExit(pid, 2500), -1);
  client.Close();
  EXPECT_EQ(daemons_.WaitExit(pid, 10000), 0);
  const OwnerBlock block = daemons_.ReadOwnerBlock();
  EXPECT_EQ(block.port, 0u);
}

TEST_F(DaemonIdle, StopSignalEndsTheDaemonCleanly) {
  const pid_t pid = StartDaemon();
  ASSERT_NE(pid, 0);
  ::kill(pid, SIGTERM);
  EXPECT_EQ(daemons_.WaitExit(pid, 10000), 0);
  EXPECT_EQ(daemons_.ReadOwnerBlock().owner, 0xFFFFFFFFu);
}

}  // namespace
