#include "tests/vaddaemon/RawClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "assetdb/protocol/VADFrames.h"

using Clock = std::chrono::steady_clock;

namespace {

void PutU32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

}  // namespace

bool RawClient::Frame::IsReply() const {
  return tag == VADFrames::kTagReply;
}
bool RawClient::Frame::IsNote() const {
  return tag == VADFrames::kTagNote;
}

RawClient::~RawClient() {
  Close();
}

bool RawClient::Connect(uint16_t port) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    Close();
    return false;
  }
  int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  return true;
}

bool RawClient::SendHandshake(std::string_view assetIndexPath, uint32_t clientFlag) {
  Bytes hello;
  PutU32(hello, VADFrames::kTagHello);
  PutU32(hello, VADFrames::kVersion);
  PutU32(hello, VADFrames::kBuild);
  PutU32(hello, clientFlag);
  PutU32(hello, uint32_t(assetIndexPath.size()));
  hello.insert(hello.end(), assetIndexPath.begin(), assetIndexPath.end());
  return Send(hello);
}

bool RawClient::Open(uint16_t port, std::string_view assetIndexPath, uint32_t clientFlag,
                     Bytes* answer) {
  if (!Connect(port) || !SendHandshake(assetIndexPath, clientFlag)) return false;
  Bytes got(12);
  if (!Receive(got.data(), got.size())) return false;
  if (answer != nullptr) *answer = got;
  return VADFrames::GetU32(got.data()) == VADFrames::kTagHelloAnswer;
}

bool RawClient::Send(const void* bytes, size_t length) {
  const uint8_t* data = static_cast<const uint8_t*>(bytes);
  size_t sent = 0;
  while (sent < length) {
    if (fd_ < 0) return false;
    ssize_t n = ::send(fd_, data + sent, length - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += size_t(n);
  }
  return true;
}

bool RawClient::SendRequest(uint32_t code, uint32_t id, const Bytes& body) {
  Bytes frame;
  PutU32(frame, code);
  PutU32(frame, id);
  PutU32(frame, uint32_t(body.size()));
  frame.insert(frame.end(), body.begin(), body.end());
  return Send(frame);
}

bool RawClient::Receive(void* dst, size_t n, int timeoutMs) {
  uint8_t* out = static_cast<uint8_t*>(dst);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  size_t got = 0;
  while (got < n) {
    if (fd_ < 0) return false;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd fd = {fd_, POLLIN, 0};
    int ready = ::poll(&fd, 1, int(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t r = ::recv(fd_, out + got, n - got, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    got += size_t(r);
  }
  return true;
}

bool RawClient::ReadFrame(Frame& frame, int timeoutMs) {
  uint8_t head[12];
  if (!Receive(head, 4, timeoutMs)) return false;
  frame.tag = VADFrames::GetU32(head);
  frame.body.clear();
  if (frame.tag != VADFrames::kTagReply && frame.tag != VADFrames::kTagNote) return true;
  if (!Receive(head + 4, 8, timeoutMs)) return false;
  frame.word = VADFrames::GetU32(head + 4);
  const uint32_t length = VADFrames::GetU32(head + 8);
  if (length > kMaxBody) return false;
  frame.body.resize(length);
  return length == 0 || Receive(frame.body.data(), length, timeoutMs);
}

bool RawClient::Transact(uint32_t code, uint32_t id, const Bytes& body, Bytes* reply,
                         std::vector<Frame>* notes, int timeoutMs) {
  if (!SendRequest(code, id, body)) return false;
  for (;;) {
    Frame frame;
    if (!ReadFrame(frame, timeoutMs)) return false;
    if (frame.IsNote()) {
      if (notes != nullptr) notes->push_back(std::move(frame));
      continue;
    }
    if (!frame.IsReply() || frame.word != id) return false;
    if (reply != nullptr) *reply = std::move(frame.body);
    return true;
  }
}

bool RawClient::WaitClosed(int timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  uint8_t sink[4096];
  for (;;) {
    if (fd_ < 0) return true;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd fd = {fd_, POLLIN, 0};
    int ready = ::poll(&fd, 1, int(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t r = ::recv(fd_, sink, sizeof(sink), 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return true;
  }
}

void RawClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool BodyReader::Need(size_t n) {
  if (failed_ || bytes_.size() - at_ < n) {
    failed_ = true;
    return false;
  }
  return true;
}

uint8_t BodyReader::U8() {
  if (!Need(1)) return 0;
  return bytes_[at_++];
}

uint32_t BodyReader::U32() {
  if (!Need(4)) return 0;
  uint32_t value = VADFrames::GetU32(bytes_.data() + at_);
  at_ += 4;
  return value;
}

uint64_t BodyReader::U64() {
  const uint64_t low = U32();
  const uint64_t high = U32();
  return low | (high << 32);
}

std::string BodyReader::String() {
  const uint32_t n = U32();
  if (!Need(n)) return std::string();
  std::string text(reinterpret_cast<const char*>(bytes_.data() + at_), n);
  at_ += n;
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

