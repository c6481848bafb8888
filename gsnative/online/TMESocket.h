// TMESocket: a non-blocking UDP socket that hands received datagrams to the
// registered peer whose address sent them.
//
// Open binds any address on a port the system picks; Bind binds a given
// address and port (the loopback stand-in server of the tests uses it).
// Only a bind to a given port reuses addresses (SO_REUSEADDR): a port the
// system picks is then never one that another socket holds.
// Nothing here blocks except AddPeer, which resolves the host name on the
// resolver thread and waits for it at most HostResolver::kWaitMs
// (NetStartup must have run, see assetdb/client/HostResolver.h).
//
// Receiving: ReceiveOne reads one datagram of at most kMaxDatagram bytes and
// gives it to the first registered peer whose port and IPv4 address match
// the sender; a datagram from anyone else goes to the unregistered-sender
// hook when one is set (and to the peer it returns), else it is counted in
// Stats().unmatched and dropped. Poll reads at most kPollBatch datagrams.
// The callback may remove its own peer or close the socket.
//
// Sending: SendDatagram is the one path out; it is virtual so that tests
// can lose, repeat, hold back or corrupt datagrams. It answers the bytes
// sent, or -1.
//
// Peers are not owned. Close (and the destructor) forget every peer.
// Threads: one thread at a time.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <vector>

#include "gsnative/online/TMEPeer.h"

struct TMESocketStats {
  uint64_t datagramsReceived = 0;
  uint64_t datagramsSent = 0;
  uint64_t bytes = 0;      // both directions
  uint64_t unmatched = 0;  // received from no registered peer, dropped
};

class TMESocket {
 public:
  static constexpr uint32_t kMaxDatagram = 100000;
  static constexpr uint32_t kPollBatch = 32;

  using UnregisteredHook = TMEPeer* (*)(void* context, const sockaddr_in& sender);

  TMESocket() = default;
  TMESocket(const TMESocket&) = delete;
  TMESocket& operator=(const TMESocket&) = delete;
  virtual ~TMESocket();

  // Any address, port 0. Failure leaves the socket closed (IsOpen false).
  void Open();
  // `address` and `port` in host order. False (and closed) on failure.
  bool Bind(uint32_t address, uint16_t port);
  void Close();
  bool IsOpen() const { return handle_ >= 0; }
  // The descriptor, for waiting on it with poll(); -1 when closed.
  int Handle() const { return handle_; }
  // The bound port in host order, 0 when closed.
  uint16_t LocalPort() const;

  // Resolves `host` for `port` into the peer's address, then registers the
  // peer here (removing it from its former socket first). False when the
  // name did not resolve; the peer is registered all the same, with the
  // address the resolver left (its datagrams then go nowhere).
  bool AddPeer(const char* host, uint16_t port, TMEPeer* peer);
  // Registers the peer for a known address.
  void AddPeerAddress(const sockaddr_in& address, TMEPeer* peer);
  void RemovePeer(TMEPeer* peer);
  size_t PeerCount() const { return peers_.size(); }

  void SetUnregisteredHook(UnregisteredHook hook, void* context) {
    hook_ = hook;
    hookContext_ = context;
  }

  bool ReceiveOne();
  void Poll();
  virtual int SendDatagram(const sockaddr_in& to, const uint8_t* bytes, uint32_t length);

  const TMESocketStats& Stats() const { return stats_; }

 protected:
  // Sends without the test seam (for overrides of SendDatagram).
  int SendNow(const sockaddr_in& to, const uint8_t* bytes, uint32_t length);

 private:
  TMEPeer* FindPeer(const sockaddr_in& sender) const;

  int handle_ = -1;
  std::vector<TMEPeer*> peers_;
  std::vector<uint8_t> receiveBuffer_;
  UnregisteredHook hook_ = nullptr;
  void* hookContext_ = nullptr;
  TMESocketStats stats_;
};
