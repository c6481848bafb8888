#include "gsnative/online/TMESocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "assetdb/client/HostResolver.h"

TMEPeer::~TMEPeer() {
  if (socket_ != nullptr) socket_->RemovePeer(this);
}

TMESocket::~TMESocket() { Close(); }

void TMESocket::Open() { Bind(INADDR_ANY, 0); }

bool TMESocket::Bind(uint32_t address, uint16_t port) {
  Close();
  handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (handle_ < 0) return false;
  const int one = 1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(address);
  const int flags = ::fcntl(handle_, F_GETFL, 0);
  // Address reuse only for a given port: with it, the system may pick for a
  // port-0 bind a port that a socket bound to one address already holds
  // (the service's own, when it runs on this machine), and the client would
  // then send to itself.
  const bool reuse = port != 0;
  if ((reuse && ::setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0) ||
      flags < 0 || ::fcntl(handle_, F_SETFL, flags | O_NONBLOCK) != 0 ||
      ::bind(handle_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
    Close();
    return false;
  }
  receiveBuffer_.resize(kMaxDatagram);
  return true;
}

void TMESocket::Close() {
  if (handle_ >= 0) ::close(handle_);
  handle_ = -1;
  for (TMEPeer* peer : peers_) peer->socket_ = nullptr;
  peers_.clear();
}

uint16_t TMESocket::LocalPort() const {
  if (handle_ < 0) return 0;
  sockaddr_in local{};
  socklen_t length = sizeof(local);
  if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

bool TMESocket::AddPeer(const char* host, uint16_t port, TMEPeer* peer) {
  sockaddr_in address{};
  const bool resolved = HostResolver::Start(host, port, &address);
  AddPeerAddress(address, peer);
  return resolved;
}

void TMESocket::AddPeerAddress(const sockaddr_in& address, TMEPeer* peer) {
  if (peer->socket_ != nullptr) peer->socket_->RemovePeer(peer);
  peer->address_ = address;
  peers_.push_back(peer);
  peer->socket_ = this;
}

void TMESocket::RemovePeer(TMEPeer* peer) {
  auto found = std::find(peers_.begin(), peers_.end(), peer);
  if (found != peers_.end()) peers_.erase(found);
  peer->socket_ = nullptr;
}

TMEPeer* TMESocket::FindPeer(const sockaddr_in& sender) const {
  for (TMEPeer* peer : peers_) {
    if (peer->address_.sin_port == sender.sin_port &&
        peer->address_.sin_addr.s_addr == sender.sin_addr.s_addr) {
      return peer;
    }
  }
  return nullptr;
}

bool TMESocket::ReceiveOne() {
  if (handle_ < 0) return false;
  sockaddr_in sender{};
  socklen_t senderLength = sizeof(sender);
  const ssize_t got = ::recvfrom(handle_, receiveBuffer_.data(), receiveBuffer_.size(), 0,
                                 reinterpret_cast<sockaddr*>(&sender), &senderLength);
  if (got < 1) return false;
  TMEPeer* peer = FindPeer(sender);
  if (peer == nullptr && hook_ != nullptr) peer = hook_(hookContext_, sender);
  if (peer == nullptr) {
    ++stats_.unmatched;
    return true;
  }
  ++stats_.datagramsReceived;
  stats_.bytes += static_cast<uint64_t>(got);
  peer->Deliver(receiveBuffer_.data(), static_cast<uint32_t>(got));
  return true;
}

void TMESocket::Poll() {
  for (uint32_t i = 0; i < kPollBatch; ++i) {
    if (!ReceiveOne()) return;
  }
}

int TMESocket::SendDatagram(const sockaddr_in& to, const uint8_t* bytes, uint32_t length) {
  return SendNow(to, bytes, length);
}

int TMESocket::SendNow(const sockaddr_in& to, const uint8_t* bytes, uint32_t length) {
  if (handle_ < 0) return -1;
  const ssize_t sent = ::sendto(handle_, bytes, length, MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&to), sizeof(to));
  if (sent < 0) return -1;
  ++stats_.datagramsSent;
  stats_.bytes += static_cast<uint64_t>(sent);
  return static_cast<int>(sent);
}
