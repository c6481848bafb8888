// The online client's account requests go to the daemon: its user name
// (0xF0), the stored credential (0xF2), and the report of a refused login
// (0xF1, one-way), seen by a scripted daemon; so do the per-asset data
// requests of the online object (0x79, 0x7A one-way).
#include <gtest/gtest.h>

#include "OnlineTestSupport.h"
#include "StandInProcess.h"
#include "TempFolder.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/stream/TBuffer.h"
#include "gsnative/online/OnlineAccessObject.h"
#include "gsnative/online/OnlineAccessProcess.h"
#include "gsnative/online/OnlineAccessClientEndpoint.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/WireBody.h"

using OnlineAccount = VADClientTestBase;

TEST_F(OnlineAccount, RefusedLoginReachesTheDaemon) {
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0xF0).Reply(VUTest::WireBody().Str("alice").Str("").Str("").U8(0).U8(0).Str("").U8(0).U8(0));
  daemon.ExpectRequest(0xF2).Reply(VUTest::WireBody().Str("secret"));
  daemon.ExpectRequest(0xF1);
  daemon.ExpectClose();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  OnlineTest::FrozenClock clock;
  StandInProcess server({"--login-error", "refused"});
  ASSERT_NE(server.Port(), 0);
  DaemonAccountSource account;
  OnlineAccessClientEndpoint client(account, "localhost", server.Port());
  ASSERT_TRUE(client.Connect(false));
  // Program time moves, so that a datagram lost on a loaded machine is
  // sent again.
  const auto pump = [&] {
    client.Update();
    clock.Advance(0.01);
  };
  EXPECT_TRUE(server.WaitFor("credential secret", 20000, pump));
  EXPECT_TRUE(VUTest::WaitUntil([&] {
    pump();
    return client.GetStatus() == OnlineAccessClientEndpoint::kStatusRefused;
  }, 20000, 1));
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(5000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  ASSERT_EQ(daemon.Requests().size(), 3u);
  EXPECT_EQ(daemon.Requests()[2].code, 0xF1u);
}

TEST_F(OnlineAccount, LocalDataGoesToTheDaemonUnderTheLowerCasedKey) {
  const KUID kuid{42, 77, 1};
  Soup stored;
  stored.SetNamedTag(Kiv::PString("text"), "kept");
  TBuffer buffer;
  ASSERT_TRUE(BinarySoup::Write(buffer, stored));
  const Kiv::DynamicBuffer& data = *buffer.GetData();
  const VUTest::WireBody::Bytes soupBytes(data.Data(), data.Data() + data.DataLength());
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0x79, VUTest::WireBody().K(kuid).Str("high-score").Get()).Reply(soupBytes);
  daemon.ExpectRequest(0x7A, VUTest::WireBody().K(kuid).Str("high-score").Raw(soupBytes).Get());
  daemon.ExpectRequest(0x79).Reply(VUTest::WireBody().Str("not a soup").Get());
  daemon.ExpectClose();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  VUTest::TempFolder folder;
  OnlineAccessProcess process(std::make_unique<OnlineTest::FakeAccount>(), "localhost", 9,
                              folder.Path());
  OnlineAccessObject object(process, kuid, false, nullptr);
  Soup got;
  ASSERT_TRUE(object.GetLocalData("High-Score", got));
  EXPECT_EQ(got.GetNamedTag(Kiv::PString("text")).View(), "kept");
  got.SetNamedTag(Kiv::PString("text"), "changed");  // a copy of its own
  EXPECT_TRUE(object.SetLocalData("HIGH-SCORE", stored));
  EXPECT_FALSE(object.GetLocalData("high-score", got));  // a damaged reply
  EXPECT_EQ(got.GetNamedTag(Kiv::PString("text")).View(), "changed");
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(5000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
}
