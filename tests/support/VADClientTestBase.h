// VADClientTestBase: shared set-up of tests of the daemon client (the client
// library, and the commands and natives built on it): the client finds the fake
// daemon's port through a port source, attempts are few and short, no real
// daemon is ever started, and the engine log is captured. TearDown closes
// the client and restores every setting.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "assetdb/client/NetStartup.h"
#include "assetdb/client/VADClient.h"
#include "tests/support/FakeDaemon.h"
#include "tests/support/LogCapture.h"

class VADClientTestBase : public ::testing::Test {
 protected:
  static inline std::atomic<uint16_t> port{0};
  static inline std::atomic<int> daemonStarts{0};
  static inline FakeDaemon* startedDaemon = nullptr;  // Made reachable by the starter.

  static uint16_t PortSource(const Kiv::File::Path&) { return port.load(); }
  static bool CountingStarter() {
    ++daemonStarts;
    if (startedDaemon != nullptr) port = startedDaemon->Port();
    return startedDaemon != nullptr;
  }

  void SetUp() override {
    NetStartup();  // Name resolution, which the transport uses, needs it.
    port = 0;
    daemonStarts = 0;
    startedDaemon = nullptr;
    VADClient::SetPortSource(&PortSource);
    VADClient::SetDaemonStarter(&CountingStarter);
    VADClientTimings timings;
    timings.attempts = 3;
    timings.attemptDelayMs = 10;
    // Waits on the fake daemon keep their full length: its thread may be
    // slow to run on a loaded machine. Tests of the time-outs shorten them.
    timings.handshakeTimeoutMs = VADClientTimings::kDefaultHandshakeTimeoutMs;
    timings.closeDaemonWaitMs = 10000;
    VADClient::SetTimings(timings);
  }

  void TearDown() override {
    VADClient::Close();
    VADClient::SetCommandHostHook(nullptr);
    VADClient::SetHttpStatusHook(nullptr);
    VADClient::SetPortSource(nullptr);
    VADClient::SetDaemonStarter(nullptr);
    VADClient::SetTimings(VADClientTimings());
  }

  // Opens the client on `daemon` with the start-up's options.
  bool OpenOn(FakeDaemon& daemon, bool restartDaemon = false) {
    port = daemon.Port();
    VADClientOptions options;
    options.restartDaemon = restartDaemon;
    return VADOpenDatabase(options);
  }

  // Whether a captured log line contains `text`. Lines that other threads
  // write (the reader thread's) may come a little after the event a test
  // saw, so this waits for one, up to 5 s.
  bool Logged(const std::string& text) { return log_.Has(text, 5000); }

 private:
  VUTest::LogCapture log_;
};
