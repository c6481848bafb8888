// The client protocol against the stand-in online server, with a frozen clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "LogCapture.h"
#include "OnlineTestSupport.h"
#include "StandInProcess.h"
#include "TempFolder.h"
#include "assetdb/client/NetStartup.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/stream/TBuffer.h"
#include "gsnative/online/OnlineAccessClientEndpoint.h"
#include "gsnative/online/OnlineMessageCache.h"

using namespace OnlineTest;

namespace {

constexpr int kWaitMs = 20000;

class Inbox : public OnlineAccessClientBase {
 public:
  void ReceiveMessage(std::unique_ptr<OnlineMessage> message) override {
    received.push_back(std::move(message));
  }
  std::vector<std::unique_ptr<OnlineMessage>> received;
};

// A client, its server and the frozen clock, with the status history.
class Session {
 public:
  explicit Session(std::vector<std::string> serverArguments = {})
      : server(std::move(serverArguments)), client(account, "localhost", server.Port()) {
    NetStartup();
    SetApplicationName("VandruUtil");
  }
  ~Session() { NetShutdown(); }

  void Pump() {
    client.Update();
    if (statuses.empty() || statuses.back() != client.GetStatus()) statuses.push_back(client.GetStatus());
    clock.Advance(0.01);
  }
  std::function<void()> Pumper() { return [this] { Pump(); }; }
  bool PumpUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      Pump();
      pollfd none{-1, 0, 0};
      ::poll(&none, 1, 1);
    }
    return true;
  }
  bool LogIn() {
    Pump();
    client.Connect(false);
    return PumpUntil([this] { return client.GetStatus() != OnlineAccessClientEndpoint::kStatusConnecting; });
  }

  FrozenClock clock;
  FakeAccount account;
  StandInProcess server;
  OnlineAccessClientEndpoint client;
  std::vector<uint32_t> statuses;
};

}  // namespace

TEST(OnlineClient, LoginEndsInTheStatusOfTheServersAnswer) {
  const struct {
    std::vector<std::string> server;
    std::vector<uint32_t> statuses;
    int refusals;
  } cases[] = {
      {{}, {1, 6, 7}, 0},
      {{"--login-error", "refused"}, {1, 6, 3}, 1},
      {{"--key-error", "closed"}, {1, 6, 3}, 0},
      {{"--key", "short"}, {1, 6, 2}, 0},
  };
  for (const auto& c : cases) {
    Session session(c.server);
    ASSERT_NE(session.server.Port(), 0);
    ASSERT_TRUE(session.LogIn());
    EXPECT_EQ(session.statuses, c.statuses) << c.server.size();
    EXPECT_EQ(session.account.refusals, c.refusals);
    std::string hello;
    ASSERT_TRUE(session.server.WaitFor("hello ", kWaitMs, session.Pumper(), &hello));
    EXPECT_EQ(hello.rfind("hello alice VandruUtil ", 0), 0u) << hello;
    EXPECT_EQ(hello.size(), std::string("hello alice VandruUtil ").size() + 16);
    if (c.statuses.back() == 7 || c.refusals != 0) {
      EXPECT_TRUE(session.server.WaitFor("credential secret", kWaitMs, session.Pumper()));
    }
  }
}

TEST(OnlineClient, ConnectWithoutProfileCredentialOrHostSendsNothing) {
  FrozenClock clock;
  FakeAccount account;
  account.user.clear();
  OnlineAccessClientEndpoint client(account, "localhost", 9);
  EXPECT_FALSE(client.Connect(false));
  EXPECT_EQ(client.GetStatus(), 0u);
  EXPECT_EQ(client.Socket().Stats().datagramsSent, 0u);
  account.user = "alice";
  account.credential.clear();  // no credential: a web login starts instead
  EXPECT_FALSE(client.Connect(false));
  EXPECT_EQ(client.GetStatus(), 6u);
  EXPECT_EQ(account.webLogins, 1);
  EXPECT_FALSE(client.Socket().IsOpen());
  // A host that does not resolve: lost at once, nothing sent.
  NetStartup();
  account.credential = "secret";
  OnlineAccessClientEndpoint nowhere(account, "", 9);
  EXPECT_FALSE(nowhere.Connect(false));
  EXPECT_EQ(nowhere.GetStatus(), 5u);
  EXPECT_EQ(nowhere.Socket().Stats().datagramsSent, 0u);
  NetShutdown();
}

TEST(OnlineClient, ZeroFloodLimitsPassOnlyTheFirstMessage) {
  VUTest::LogCapture log;
  Session session({"--limits", "0", "0"});
  ASSERT_TRUE(session.LogIn());
  ASSERT_EQ(session.client.GetStatus(), 7u);
  EXPECT_TRUE(log.Has("OnlineAccessClientEndpoint::HandlePacket> Flood limits set by server (0.000000,0.000000)"));
  Soup body;
  body.SetNamedTag(Kiv::PString("text"), "hi");
  const KUID kuid{42, 77, 1};
  EXPECT_EQ(session.client.SendMessage("bob", body, false, kuid), 0);
  EXPECT_EQ(session.client.SendMessage("bob", body, false, kuid), 4);
  // A later request marks the end of what the server can receive.
  session.client.SendCreateGroup(0);
  ASSERT_TRUE(session.server.WaitFor("group-create 1 0", kWaitMs, session.Pumper()));
  EXPECT_EQ(session.server.Count("message "), 1u);
  EXPECT_EQ(session.server.Count("message 42 77 1 bob 0"), 1u);
}

TEST(OnlineClient, DefaultFloodLimitRefusesPast300000BytesAMinuteAndDrains) {
  Session session;
  ASSERT_TRUE(session.LogIn());
  ASSERT_EQ(session.client.GetStatus(), 7u);
  Soup body;
  body.SetNamedTag(Kiv::PString("text"), std::string(10000, 'x'));
  const KUID kuid{42, 77, 1};
  int sent = 0;
  while (session.client.SendMessage("bob", body, false, kuid) == 0) ++sent;
  EXPECT_EQ(sent, 30);  // the 30th passes 300000 bytes; the 31st is refused
  EXPECT_EQ(session.client.SendMessage("bob", body, false, kuid), 4);
  // The minute counter drains 5000 bytes a second: after 3 seconds it is
  // back under the limit.
  session.clock.Advance(3.0);
  session.client.Update();
  EXPECT_EQ(session.client.SendMessage("bob", body, false, kuid), 0);
}

TEST(OnlineClient, MessageForNoClientIsStoredCachedAndReplayed) {
  VUTest::LogCapture log;
  VUTest::TempFolder folder;
  Session session;
  ASSERT_TRUE(session.LogIn());
  ASSERT_EQ(session.client.GetStatus(), 7u);
  // Faults on the server's side of the channel change nothing.
  ASSERT_TRUE(session.server.Command("garbage 40", session.Pumper()));
  ASSERT_TRUE(session.server.Command("dup 2", session.Pumper()));
  Inbox inbox;
  inbox.kuid = KUID{42, 77, 3};  // another version of the same asset
  session.client.AddClient(&inbox);
  ASSERT_TRUE(session.server.Command("deliver 42 77 1 bob", session.Pumper()));
  ASSERT_TRUE(session.PumpUntil([&] { return session.client.StoredMessages().size() == 1; }));
  EXPECT_TRUE(log.Has("OnlineAccessClientEndpoint::HandlePacket> Storing iVandru message for <kuid2:42:77:1>"));
  EXPECT_GT(session.client.Stats().malformed, 0u);
  session.client.Disconnect();
  EXPECT_EQ(session.client.GetStatus(), 1u);
  ASSERT_TRUE(session.server.WaitFor("disconnect", kWaitMs, session.Pumper()));

  const std::string path = folder.Path() + "/oa_messages.dat";
  ASSERT_TRUE(OnlineMessageCache::Save(path, session.client.StoredMessages()));
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
  Soup body;
  body.SetNamedTag(Kiv::PString("text"), "hello");
  TBuffer soup;
  BinarySoup::Write(soup, body);
  const Kiv::DynamicBuffer& soupBytes = *soup.GetData();
  std::vector<uint8_t> expected = {1, 0, 0, 0, 1, 0, 0, 0,       // version, count
                                   77, 0, 0, 0, 42, 0, 0, 2,     // KUID
                                   3, 0, 0, 0, 'b', 'o', 'b'};  // user name
  expected.insert(expected.end(), soupBytes.Data(), soupBytes.Data() + soupBytes.DataLength());
  expected.insert(expected.end(), {1, 0, 0, 0, 0});              // version 1, not modified
  EXPECT_EQ(file, expected);

  EXPECT_TRUE(inbox.received.empty());  // live messages need the whole KUID
  session.client.AddClient(&inbox);        // registering again replays
  ASSERT_EQ(inbox.received.size(), 1u);
  EXPECT_EQ(inbox.received[0]->userName, "bob");
  EXPECT_EQ(inbox.received[0]->body.GetNamedTag(Kiv::PString("text")).View(), "hello");
  EXPECT_TRUE(session.client.StoredMessages().empty());
}

TEST(OnlineClient, CreatedGroupAddsEachMemberOnceAndLeavesStrangers) {
  Session session({"--members", "alice,bob,carol"});
  ASSERT_TRUE(session.LogIn());
  Inbox owner;
  EventLog events;
  OnlineGroupState group(session.client, &owner, Kiv::PString(), 5, &events);
  group.Connect();
  ASSERT_TRUE(session.server.WaitFor("group-create 1 5", kWaitMs, session.Pumper()));
  ASSERT_TRUE(session.PumpUntil([&] { return group.GetStatus() == OnlineGroupState::kOpen; }));
  EXPECT_EQ(std::string(group.GetCookie().View()), "group-1");
  EXPECT_EQ(events.Count("OnlineGroup.UserAdded/alice") + events.Count("OnlineGroup.UserAdded/bob") +
                events.Count("OnlineGroup.UserAdded/carol"),
            3u);
  EXPECT_EQ(events.Count("OnlineGroup/UsersChange"), 1u);
  EXPECT_EQ(events.Count("OnlineGroup/StatusChange"), 1u);

  group.AddUser("BOB");  // already there, in another case: nothing is sent
  group.AddUser("dave");
  ASSERT_TRUE(session.server.WaitFor("group-user group-1 0 dave", kWaitMs, session.Pumper()));
  EXPECT_EQ(session.server.Count("group-user "), 1u);
  // The removal is held back behind the next packet: the channel restores
  // the order.
  ASSERT_TRUE(session.server.Command("reorder 1", session.Pumper()));
  ASSERT_TRUE(session.server.Command("users group-1 bob 255 0", session.Pumper()));
  ASSERT_TRUE(session.server.Command("created 99 stray", session.Pumper()));
  ASSERT_TRUE(session.PumpUntil([&] { return events.Count("OnlineGroup.UserRemoved/bob") == 1; }));
  EXPECT_TRUE(session.server.WaitFor("group-leave stray", kWaitMs, session.Pumper()));
  EXPECT_EQ(events.Count("OnlineGroup/UsersChange"), 2u);
  session.client.RemoveClient(&owner);
  EXPECT_EQ(group.GetStatus(), OnlineGroupState::kClosed);
}

TEST(OnlineClient, SilenceOfMoreThan300SecondsLosesTheConnection) {
  Session session;
  ASSERT_TRUE(session.LogIn());
  ASSERT_EQ(session.client.GetStatus(), 7u);
  session.clock.Advance(1.5);
  session.client.Update();  // acknowledges what came
  for (int second = 0; second < 302 && session.client.GetStatus() == 7; ++second) {
    session.clock.Advance(1.0);
    session.client.Update();
  }
  EXPECT_EQ(session.client.GetStatus(), 5u);
}

TEST(OnlineClient, WebLoginEndsInTheStatusOfItsResult) {
  const struct {
    int64_t result;
    uint32_t status;
  } cases[] = {{0, 7}, {3, 3}, {0xFFFFFFFE, 1}};
  for (const auto& c : cases) {
    Session session;
    session.account.credential.clear();
    session.account.credentialAfterWebLogin = "secret";
    session.Pump();
    EXPECT_FALSE(session.client.Connect(false));
    EXPECT_EQ(session.client.GetStatus(), 6u);
    session.account.webResult = c.result;
    ASSERT_TRUE(session.PumpUntil([&] { return session.client.GetStatus() != 6u; })) << c.result;
    EXPECT_EQ(session.client.GetStatus(), c.status) << c.result;
    EXPECT_EQ(session.account.webLogins, 1);
  }
}
