// DaemonFixture: a GoogleTest fixture that runs the built daemon (a link
// to VADDAEMON_EXE placed in root/bin) in an installation root of its own
// (tests/support/InstallRoot.h). SetUp starts one daemon and waits for its
// port, unless AutoStart() answers false; every daemon spawned is stopped
// when the test ends (tests/support/DaemonProcesses.h), then the root is
// removed. Not thread-safe: the test's own thread only.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/DaemonProcesses.h"
#include "tests/support/InstallRoot.h"
#include "tests/vaddaemon/RawClient.h"

class DaemonFixture : public ::testing::Test {
 protected:
  using OwnerBlock = VUTest::DaemonProcesses::OwnerBlock;

  void SetUp() override {
    ASSERT_TRUE(root_.Made()) << "cannot make an installation root";
    program_ = root_.PlaceProgram(VADDAEMON_EXE);
    ASSERT_FALSE(program_.empty()) << "cannot place " << VADDAEMON_EXE;
    if (!AutoStart()) return;
    pid_ = StartDaemon(DaemonEnvironment());
    ASSERT_NE(pid_, 0) << "the daemon did not start: " << daemons_.Output(0);
    port_ = daemons_.WaitForPort(pid_, 0);
    ASSERT_NE(port_, 0);
  }

  // Whether SetUp starts a daemon (default true).
  virtual bool AutoStart() const { return true; }
  // Extra environment entries ("NAME=value") for the daemon SetUp starts.
  virtual std::vector<std::string> DaemonEnvironment() const { return {}; }

  const std::string& Root() const { return root_.Path(); }
  std::string UserDataPath() const { return root_.UserData(); }
  std::string AssetIndexPath() const { return root_.AssetIndex(); }

  pid_t SpawnDaemon(const std::vector<std::string>& environment = {}) {
    return daemons_.Spawn(program_, environment);
  }
  pid_t StartDaemon(const std::vector<std::string>& environment = {}) {
    return daemons_.Start(program_, environment);
  }

  // The first daemon (SetUp's) and its port.
  pid_t DaemonPid() const { return pid_; }
  uint16_t Port() const { return port_; }
  // A raw client connected to Port() with the handshake done (null, and a
  // test failure, when that fails).
  std::unique_ptr<RawClient> Connect() {
    auto client = std::make_unique<RawClient>();
    if (client->Open(port_, AssetIndexPath())) return client;
    ADD_FAILURE() << "cannot connect to the daemon on port " << port_;
    return nullptr;
  }

  VUTest::InstallRoot root_{"Daemon"};
  VUTest::DaemonProcesses daemons_{root_};

 private:
  std::string program_;
  pid_t pid_ = 0;
  uint16_t port_ = 0;
};
