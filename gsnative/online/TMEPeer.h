// TMEPeer: one remote address of a TMESocket and the callback that takes
// its datagrams.
//
// The peer does not own its socket or its callback's context. A peer is
// registered with at most one socket (TMESocket::AddPeer moves it) and
// leaves it when destroyed; Clear forgets callback, context and socket
// without telling the socket (call TMESocket::RemovePeer for that).
#pragma once

#include <netinet/in.h>

#include <cstdint>

class TMESocket;

class TMEPeer {
 public:
  using Callback = void (*)(void* context, const uint8_t* bytes, uint32_t length);

  TMEPeer() = default;
  TMEPeer(const TMEPeer&) = delete;
  TMEPeer& operator=(const TMEPeer&) = delete;
  ~TMEPeer();

  void SetCallback(Callback callback, void* context) {
    callback_ = callback;
    context_ = context;
  }
  void Clear() {
    callback_ = nullptr;
    context_ = nullptr;
    socket_ = nullptr;
  }

  const sockaddr_in& Address() const { return address_; }
  TMESocket* Socket() const { return socket_; }

  // Called by TMESocket for a datagram from this peer's address.
  void Deliver(const uint8_t* bytes, uint32_t length) {
    if (callback_ != nullptr) callback_(context_, bytes, length);
  }

 private:
  friend class TMESocket;

  sockaddr_in address_{};
  Callback callback_ = nullptr;
  void* context_ = nullptr;
  TMESocket* socket_ = nullptr;
};
