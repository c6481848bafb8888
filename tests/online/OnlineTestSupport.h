// Shared support of the online tests: a frozen program clock, an account and
// a group-event log, loopback addresses, and a pair of endpoints joined over
// loopback UDP through fault-injecting sockets.
#pragma once

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FaultySocket.h"
#include "foundation/base/ProgramClock.h"
#include "gsnative/online/OnlineAccessClientEndpoint.h"
#include "gsnative/online/OnlineGroupState.h"
#include "gsnative/online/TMEEndpoint.h"

namespace OnlineTest {

// Freezes the program clock for the test's life.
class FrozenClock {
 public:
  explicit FrozenClock(double start = 1000.0) { ProgramClock::SetForTests(start); }
  ~FrozenClock() { ProgramClock::ReleaseForTests(); }
  void Advance(double seconds) { ProgramClock::AdvanceForTests(seconds); }
};

inline sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// An account whose answers the test sets; counts refusals and web logins.
class FakeAccount : public OnlineAccountSource {
 public:
  std::string GetOnlineUsername() override { return user; }
  std::string GetCredential() override { return credential; }
  void ReportLoginRefused() override { ++refusals; }
  void StartWebLogin() override { ++webLogins; }
  bool WebLoginDone(uint32_t& result) override {
    if (webResult < 0) return false;
    result = static_cast<uint32_t>(webResult);
    credential = credentialAfterWebLogin;
    return true;
  }
  void CloseWebLogin() override {}

  std::string user = "alice";
  std::string credential = "secret";
  int refusals = 0;
  int webLogins = 0;
  int64_t webResult = -1;  // -1: the web login has not finished
  std::string credentialAfterWebLogin;
};

// Collects posted group events as "major/minor".
class EventLog : public OnlineGroupEvents {
 public:
  void Post(const char* major, const std::string& minor) override {
    events.push_back(std::string(major) + "/" + minor);
  }
  size_t Count(const std::string& event) const {
    return static_cast<size_t>(std::count(events.begin(), events.end(), event));
  }
  std::vector<std::string> events;
};

using Bytes = std::vector<uint8_t>;

// Keeps every packet delivered to it.
class CollectingEndpoint : public TMEEndpoint {
 public:
  void HandlePacket(TMEPacket& packet) override {
    received.emplace_back(packet.Payload(), packet.Payload() + packet.PayloadSize());
  }
  void OnDisconnected() override { ++disconnects; }

  std::vector<Bytes> received;
  int disconnects = 0;
};

// Two endpoints in fragment mode joined over loopback.
struct EndpointPair {
  explicit EndpointPair(uint32_t seed = 1) : socketA(seed), socketB(seed + 1) {
    socketA.Bind(INADDR_LOOPBACK, 0);
    socketB.Bind(INADDR_LOOPBACK, 0);
    socketA.AddPeerAddress(Loopback(socketB.LocalPort()), &peerA);
    socketB.AddPeerAddress(Loopback(socketA.LocalPort()), &peerB);
    a.SetFragmentMode(TMEEndpoint::kModeFragment);
    b.SetFragmentMode(TMEEndpoint::kModeFragment);
    a.Reset(&peerA);
    b.Reset(&peerB);
    a.disconnects = 0;  // Reset closes first
    b.disconnects = 0;
  }

  static void Drain(TMESocket& socket) {
    while (socket.ReceiveOne()) {
    }
  }
  // One round: both update and read all that is waiting.
  void Pump() {
    a.Update();
    Drain(socketB);
    b.Update();
    Drain(socketA);
  }

  bool Send(const Bytes& payload) {
    auto* packet = new TMEPacket();
    packet->Write(payload.data(), static_cast<uint32_t>(payload.size()));
    if (a.SendPacket(packet)) return true;
    delete packet;
    return false;
  }

  FaultySocket socketA;
  FaultySocket socketB;
  TMEPeer peerA;
  TMEPeer peerB;
  CollectingEndpoint a;
  CollectingEndpoint b;
};

}  // namespace OnlineTest
