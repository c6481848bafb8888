#include "assetdb/client/NetTransport.h"

#include <sys/socket.h>
#include <unistd.h>

NetTransport::~NetTransport() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void NetTransport::Attach(int socket) {
  descriptor_ = socket;
  socket_.store(socket);
  state_.store(socket >= 0 ? kReady : kNotConnected);
}

void NetTransport::Close() {
  state_.store(kClosed);
  const int socket = socket_.exchange(-1);
  // shutdown wakes a thread blocked in recv or send on this socket; closing
  // the descriptor would not, and would free its number for reuse while that
  // thread may still use it. The destructor closes it.
  if (socket >= 0) ::shutdown(socket, SHUT_RDWR);
}

void NetTransport::MarkFailed() {
  int32_t expected = kReady;
  state_.compare_exchange_strong(expected, kFailed);
}
