// A NetTransport over a plain TCP connection.
//
// The constructor copies the host (at most kMaxHostLength = 511 bytes; a
// longer host is refused and nothing is copied) and the port, and connects at
// once through TCPConnect. Any failure (host too long, not resolved within
// 5000 ms, socket or connect refused, connect not done within
// kConnectTimeoutMs) leaves the socket -1 and the state kNotConnected, and
// every transfer then fails. The constructor never fails otherwise.
//
// Read is recv (a failure while the state is kReady sets kFailed); Peek is
// recv with MSG_PEEK; Write is send with MSG_NOSIGNAL, so a peer that has gone
// never raises SIGPIPE. Calls interrupted by a signal are retried. Reads and
// writes block until data moves, the peer closes, or Close wakes them.
// BytesAvailable tells whether FIONREAD reports bytes waiting. Reconnect
// answers a new TCPTransport to the same host on another port (null when
// memory fails). The destructor closes the socket.
#pragma once

#include <cstdint>

#include "assetdb/client/NetTransport.h"

class TCPTransport : public NetTransport {
 public:
  static constexpr int kHostSize = 512;
  static constexpr int kMaxHostLength = kHostSize - 1;
  static constexpr int kConnectTimeoutMs = 5000;

  TCPTransport(const char* host, uint16_t port);
  ~TCPTransport() override;

  int Read(void* buffer, int length) override;
  int Peek(void* buffer, int length) override;
  int Write(const void* buffer, int length) override;
  NetTransport* Reconnect(uint16_t port) override;
  bool BytesAvailable() override;

  // The host as stored ("" when it was refused as too long) and the port.
  const char* GetHost() const { return host_; }
  uint16_t GetPort() const { return port_; }

 private:
  char host_[kHostSize] = {};
  uint16_t port_ = 0;
};

// Resolves `host` (HostResolver::Start) and connects a new TCP socket to it,
// waiting at most TCPTransport::kConnectTimeoutMs for the connection. Answers
// the connected socket (blocking, close-on-exec) or -1. A null host gives -1.
int TCPConnect(const char* host, uint16_t port);
