#include "vaddaemon/DaemonConnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "foundation/base/LogMessage.h"
#include "vaddaemon/DaemonFrames.h"

DaemonConnection::DaemonConnection(int fd, uint64_t number) : fd_(fd), number_(number) {}

DaemonConnection::~DaemonConnection() {
  if (fd_ >= 0) ::close(fd_);
}

bool DaemonConnection::SendReply(uint32_t id, const uint8_t* body, uint32_t length) {
  std::vector<uint8_t> frame = DaemonFrames::EncodeReply(id, body, length);
  std::lock_guard<std::mutex> hold(sendLock_);
  return SendFrameLocked(frame.data(), frame.size());
}

bool DaemonConnection::SendNote(uint32_t code, const uint8_t* payload, uint32_t length) {
  std::vector<uint8_t> frame = DaemonFrames::EncodeNote(code, payload, length);
  std::lock_guard<std::mutex> hold(sendLock_);
  return SendFrameLocked(frame.data(), frame.size());
}

bool DaemonConnection::SendNoteAndReply(uint32_t code, const uint8_t* payload,
                                        uint32_t payloadLength, uint32_t id, const uint8_t* body,
                                        uint32_t length) {
  if (fd_ < 0) {
    const bool noted = SendNote(code, payload, payloadLength);
    return SendReply(id, body, length) && noted;
  }
  std::vector<uint8_t> frames = DaemonFrames::EncodeNote(code, payload, payloadLength);
  const std::vector<uint8_t> reply = DaemonFrames::EncodeReply(id, body, length);
  frames.insert(frames.end(), reply.begin(), reply.end());
  std::lock_guard<std::mutex> hold(sendLock_);
  return SendFrameLocked(frames.data(), frames.size());
}

bool DaemonConnection::SendRaw(const uint8_t* bytes, size_t length) {
  std::lock_guard<std::mutex> hold(sendLock_);
  return SendFrameLocked(bytes, length);
}

void DaemonConnection::HoldReaderFrames() {
  std::lock_guard<std::mutex> hold(sendLock_);
  holder_ = std::this_thread::get_id();
}

bool DaemonConnection::Flush() {
  std::lock_guard<std::mutex> hold(sendLock_);
  if (held_.empty()) return !closed_.load();
  return SendHeldLocked();
}

bool DaemonConnection::SendHeldLocked() {
  const bool sent = SendLocked(held_.data(), held_.size());
  held_.clear();
  return sent;
}

// The holder's frames join the held ones while they fit; any other frame
// leaves at once, behind whatever is held.
bool DaemonConnection::SendFrameLocked(const uint8_t* bytes, size_t length) {
  if (std::this_thread::get_id() == holder_ && held_.size() + length <= kMaxHeldBytes) {
    if (closed_.load()) {
      held_.clear();
      return false;
    }
    try {
      held_.insert(held_.end(), bytes, bytes + length);
    } catch (const std::bad_alloc&) {
      held_.clear();
      Close();
      return false;
    }
    return true;
  }
  if (!held_.empty() && !SendHeldLocked()) return false;
  return SendLocked(bytes, length);
}

// Sends everything, waiting at most kSendTimeoutMs for the client to make
// room each time; a failure or a stall closes the connection.
bool DaemonConnection::SendLocked(const uint8_t* bytes, size_t length) {
  size_t sent = 0;
  while (sent < length) {
    if (closed_.load()) return false;
    ssize_t n = ::send(fd_, bytes + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd fd = {fd_, POLLOUT, 0};
      int ready = ::poll(&fd, 1, int(kSendTimeoutMs));
      if (ready > 0 && (fd.revents & POLLOUT) != 0) continue;
      if (ready < 0 && errno == EINTR) continue;
      LogMessage("vaddaemon> connection %llu: the client takes no data; closing it",
                 static_cast<unsigned long long>(number_));
    }
    Close();
    return false;
  }
  return true;
}

void DaemonConnection::Close() {
  if (closed_.exchange(true)) return;
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

bool DaemonConnection::PeerClosed() const {
  if (closed_.load()) return true;
  if (fd_ < 0) return false;
  // The end of the client's stream is seen at once, without reading the
  // bytes the reader has not taken yet.
  pollfd fd = {fd_, POLLRDHUP, 0};
  if (::poll(&fd, 1, 0) <= 0) return false;
  return (fd.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void DaemonConnection::SetHandshake(uint32_t clientFlag, std::string assetIndexPath) {
  clientFlag_ = clientFlag;
  clientIndexPath_ = std::move(assetIndexPath);
}
