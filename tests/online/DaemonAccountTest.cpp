// The online client's account requests go to the daemon: its user name
// (0xF0), the stored credential (0xF2), and the report of a refused login
// (0xF1, one-way), seen by a scripted daemon.
#include <gtest/gtest.h>

#include "OnlineTestSupport.h"
#include "StandInProcess.h"
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
  DaemonAccountSource account;
  OnlineAccessClientEndpoint client(account, "localhost", server.Port());
  ASSERT_TRUE(client.Connect(false));
  EXPECT_TRUE(server.WaitFor("credential secret", 20000, [&] { client.Update(); }));
  EXPECT_TRUE(VUTest::WaitUntil([&] {
    client.Update();
    return client.GetStatus() == OnlineAccessClientEndpoint::kStatusRefused;
  }, 20000, 1));
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(5000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  ASSERT_EQ(daemon.Requests().size(), 3u);
  EXPECT_EQ(daemon.Requests()[2].code, 0xF1u);
}
