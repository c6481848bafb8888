#include "assetdb/client/TCPTransport.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "assetdb/client/HostResolver.h"
#include "kiv/Time.h"

namespace {

bool SetBlocking(int socket, bool blocking) {
  const int flags = ::fcntl(socket, F_GETFL, 0);
  if (flags < 0) return false;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return ::fcntl(socket, F_SETFL, wanted) == 0;
}

// Waits for a non-blocking connect to finish, at most `timeoutMs` in all.
bool FinishConnect(int socket, int timeoutMs) {
  const uint64_t deadline = Kiv::Time::Ms() + static_cast<uint64_t>(timeoutMs);
  for (;;) {
    const uint64_t now = Kiv::Time::Ms();
    if (now >= deadline) return false;
    pollfd entry{socket, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(deadline - now));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    int error = 0;
    socklen_t size = sizeof(error);
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return false;
    return error == 0;
  }
}

bool ConnectBounded(int socket, const sockaddr_in& address) {
  if (!SetBlocking(socket, false)) return false;
  const int result =
      ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  if (result != 0 && errno != EINPROGRESS && errno != EINTR) return false;
  if (result != 0 && !FinishConnect(socket, TCPTransport::kConnectTimeoutMs)) return false;
  return SetBlocking(socket, true);
}

}  // namespace

int TCPConnect(const char* host, uint16_t port) {
  if (host == nullptr) return -1;
  sockaddr_in address{};
  if (!HostResolver::Start(host, port, &address)) return -1;
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (socket == -1) return -1;
  if (!ConnectBounded(socket, address)) {
    ::close(socket);
    return -1;
  }
  return socket;
}

TCPTransport::TCPTransport(const char* host, uint16_t port) : port_(port) {
  if (host == nullptr) return;
  const size_t length = ::strnlen(host, kHostSize);
  if (length > static_cast<size_t>(kMaxHostLength)) return;
  std::memcpy(host_, host, length);
  host_[length] = '\0';
  Attach(TCPConnect(host_, port_));
}

TCPTransport::~TCPTransport() = default;

int TCPTransport::Read(void* buffer, int length) {
  const int socket = GetSocket();
  if (socket == -1 || buffer == nullptr || length < 0) return -1;
  ssize_t received;
  do {
    received = ::recv(socket, buffer, static_cast<size_t>(length), 0);
  } while (received < 0 && errno == EINTR);
  if (received < 0) MarkFailed();
  return static_cast<int>(received);
}

int TCPTransport::Peek(void* buffer, int length) {
  const int socket = GetSocket();
  if (socket == -1 || buffer == nullptr || length < 0) return -1;
  ssize_t received;
  do {
    received = ::recv(socket, buffer, static_cast<size_t>(length), MSG_PEEK);
  } while (received < 0 && errno == EINTR);
  return static_cast<int>(received);
}

int TCPTransport::Write(const void* buffer, int length) {
  const int socket = GetSocket();
  if (socket == -1 || buffer == nullptr || length < 0) return -1;
  ssize_t sent;
  do {
    sent = ::send(socket, buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<int>(sent);
}

NetTransport* TCPTransport::Reconnect(uint16_t port) {
  return new (std::nothrow) TCPTransport(host_, port);
}

bool TCPTransport::BytesAvailable() {
  const int socket = GetSocket();
  if (socket == -1) return false;
  int count = 0;
  if (::ioctl(socket, FIONREAD, &count) != 0) return false;
  return count > 0;
}
