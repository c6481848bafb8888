// The process-wide state of the daemon client, shared by its connection
// code (VADClient.cpp) and its notification code (VADClientNotifications.cpp).
// Internal to the client; nothing outside assetdb/VADClient*.cpp uses it.
//
// Guards: the connection lock guards the transport, the reader thread and
// its context, and the connection number; the other locks guard what they
// are named after. The state is built on first use and never destroyed, so
// threads that outlive static destruction find it whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "assetdb/client/NetTransport.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/VADNotification.h"
#include "foundation/spec/SpecRegistry.h"
#include "kiv/CriticalSection.h"
#include "kiv/Thread.h"
#include "kiv/WEvent.h"

namespace VADClientInternal {

// What the reader thread of one connection works on. The transport stays
// alive until the thread has been joined.
struct ReaderContext {
  NetTransport* transport = nullptr;
  uint32_t connection = 0;
  std::atomic<bool> done{false};
  // Set (before `done`) when this process drops the connection because a
  // send on it failed: the connection was lost all the same.
  std::atomic<bool> lost{false};
};

struct ClientState {
  // Connection.
  Kiv::CriticalSection connectionLock;
  std::atomic<bool> opened{false};
  std::atomic<bool> connected{false};
  std::unique_ptr<NetTransport> transport;
  std::unique_ptr<Kiv::Thread> reader;
  std::unique_ptr<ReaderContext> readerContext;
  uint32_t connection = 0;  // Number of the latest connection; 0 before any.
  std::atomic<uint64_t> lostRequests{0};

  std::mutex openLock;           // Serialises VADOpenDatabase, Reconnect and Close.
  bool reconnectFailed = false;  // Under openLock: the last Reconnect found no daemon.
  std::unique_ptr<SpecRegistry> specs;

  std::mutex optionsLock;
  VADClientOptions options;

  std::mutex handshakeLock;
  uint32_t handshake[2] = {0, 0};

  // The daemon process this process launched and has not yet seen end
  // (0: none), so that a start the daemon refused can be made again.
  std::atomic<int> launchedDaemon{0};

  std::mutex settingsLock;
  VADClientTimings timings;
  VADClient::PortSource portSource = nullptr;
  VADClient::DaemonStarter daemonStarter = nullptr;

  // Notifications.
  Kiv::CriticalSection queueLock;
  std::deque<std::unique_ptr<VADNotification>> queue;
  // Under queueLock: a command-host job is being run, and how many queued
  // runs found the next job while it was (they run again once it ends).
  bool jobRunning = false;
  uint32_t deferredRuns = 0;
  std::atomic<VADClient::CommandHostHook> commandHostHook{nullptr};
  std::atomic<VADClient::HttpStatusHook> httpStatusHook{nullptr};
  std::atomic<VADClient::ConnectionLostHook> connectionLostHook{nullptr};

  std::mutex questionLock;
  std::vector<std::unique_ptr<Kiv::Thread>> questions;
};

ClientState& State();
VADClientOptions CurrentOptions();

}  // namespace VADClientInternal
