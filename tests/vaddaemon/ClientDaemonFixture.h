// ClientDaemonFixture: the daemon process of DaemonFixture with the client
// library opened on it, so that tests drive the daemon through the client's
// own request functions (the folder layout is the daemon's root, so that
// the handshake names its index). The client never starts a daemon of its
// own; it is closed and its hooks and layout reset when the test ends. Not
// thread-safe: the test's own thread only.
#pragma once

#include <atomic>

#include "assetdb/client/NetStartup.h"
#include "assetdb/client/VADClient.h"
#include "foundation/layout/FolderLayout.h"
#include "tests/vaddaemon/DaemonFixture.h"

class ClientDaemonFixture : public DaemonFixture {
 protected:
  void SetUp() override {
    DaemonFixture::SetUp();
    if (HasFatalFailure()) return;
    NetStartup();
    // The handshake names the daemon's own index: a daemon serves only the
    // clients of its UserData.
    DetermineInstallPath(Kiv::File::Path(Root()));
    port_ = Port();
    VADClient::SetPortSource([](const Kiv::File::Path&) { return port_.load(); });
    VADClient::SetDaemonStarter([] { return false; });
    ASSERT_TRUE(VADOpenDatabase(VADClientOptions()));
  }

  void TearDown() override {
    VADClient::Close();
    VADClient::SetPortSource(nullptr);
    VADClient::SetDaemonStarter(nullptr);
    ResetFolderLayoutForTests();
    DaemonFixture::TearDown();
  }

  // A raw connection (tests/vaddaemon/RawClient.h) for what the client
  // never sends: hostile bodies, a second connection. `id` numbers its
  // requests.
  Bytes RawAsk(RawClient& raw, uint32_t code, const Bytes& body,
               std::vector<RawClient::Frame>* notes = nullptr) {
    Bytes reply;
    EXPECT_TRUE(raw.Transact(code, ++rawId_, body, &reply, notes, 20000)) << code;
    return reply;
  }
  uint32_t rawId_ = 100;

 private:
  static inline std::atomic<uint16_t> port_{0};
};
