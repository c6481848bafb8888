#include "tests/assetdb/FakeDaemon.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr int kPollMs = 20;
constexpr uint32_t kTagReply = 0x7265706C;
constexpr uint32_t kTagNote = 0x6E6F7465;
constexpr uint32_t kTagHelloAnswer = 0x56414444;
constexpr uint32_t kMaxLength = 64u << 20;

uint32_t Get32(const uint8_t* b) {
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

}  // namespace

void FakeDaemon::Put32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

FakeDaemon::Bytes FakeDaemon::Words(std::initializer_list<uint32_t> words) {
  Bytes out;
  for (uint32_t w : words) Put32(out, w);
  return out;
}

FakeDaemon::FakeDaemon() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return;
  int one = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener_, 8) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(listener_);
    listener_ = -1;
    return;
  }
  port_ = ntohs(address.sin_port);
}

FakeDaemon::~FakeDaemon() {
  Stop();
}

void FakeDaemon::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  CloseConnection();
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
}

void FakeDaemon::Start() {
  thread_ = std::thread([this] { Run(); });
}

bool FakeDaemon::WaitDone(uint32_t ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done_) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void FakeDaemon::Run() {
  for (Step& step : steps_) {
    if (stop_ || step()) continue;
    // A client still waiting for an answer the script will not give fails
    // at once instead of hanging its test.
    CloseConnection();
    break;
  }
  done_ = true;
}

void FakeDaemon::Fail(std::string text) {
  std::lock_guard<std::mutex> guard(mutex_);
  failures_.push_back(std::move(text));
}

std::vector<std::string> FakeDaemon::Failures() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return failures_;
}

std::vector<FakeDaemon::Request> FakeDaemon::Requests() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return requests_;
}

FakeDaemon::HandshakeSeen FakeDaemon::Handshake() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return handshake_;
}

void FakeDaemon::CloseConnection() {
  if (connection_ >= 0) close(connection_);
  connection_ = -1;
}

bool FakeDaemon::AcceptNow() {
  CloseConnection();
  while (!stop_) {
    pollfd fd = {listener_, POLLIN, 0};
    if (poll(&fd, 1, kPollMs) <= 0) continue;
    connection_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection_ < 0) continue;
    int one = 1;
    setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ++accepted_;
    return true;
  }
  return false;
}

bool FakeDaemon::ReadExact(void* dst, size_t n) {
  uint8_t* out = static_cast<uint8_t*>(dst);
  size_t got = 0;
  while (got < n) {
    if (stop_ || connection_ < 0) return false;
    pollfd fd = {connection_, POLLIN, 0};
    int ready = poll(&fd, 1, kPollMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    if (ready < 0) return false;
    ssize_t r = recv(connection_, out + got, n - got, 0);
    if (r <= 0) return false;
    got += size_t(r);
  }
  return true;
}

bool FakeDaemon::SendExact(const Bytes& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    if (connection_ < 0) return false;
    ssize_t w = send(connection_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    sent += size_t(w);
  }
  return true;
}

bool FakeDaemon::ReadRequest(Request& request) {
  uint8_t header[12];
  if (!ReadExact(header, 12)) return false;
  request.code = Get32(header);
  request.id = Get32(header + 4);
  uint32_t length = Get32(header + 8);
  if (length > kMaxLength) return false;
  request.payload.resize(length);
  if (length != 0 && !ReadExact(request.payload.data(), length)) return false;
  std::lock_guard<std::mutex> guard(mutex_);
  requests_.push_back(request);
  return true;
}

FakeDaemon& FakeDaemon::Accept() {
  steps_.push_back([this] {
    if (AcceptNow()) return true;
    Fail("no connection accepted");
    return false;
  });
  return *this;
}

FakeDaemon& FakeDaemon::ExpectHandshake(Answer answer, uint32_t value1, uint32_t value2) {
  steps_.push_back([this, answer, value1, value2] {
    if (!AcceptNow()) {
      Fail("no connection for the handshake");
      return false;
    }
    uint8_t words[20];
    HandshakeSeen seen;
    if (!ReadExact(words, 20)) {
      Fail("short handshake");
      return false;
    }
    seen.magic = Get32(words);
    seen.version = Get32(words + 4);
    seen.build = Get32(words + 8);
    seen.clientFlag = Get32(words + 12);
    uint32_t length = Get32(words + 16);
    if (length > 65535) {
      Fail("handshake path too long");
      return false;
    }
    seen.path.resize(length);
    if (length != 0 && !ReadExact(seen.path.data(), length)) {
      Fail("short handshake path");
      return false;
    }
    {
      std::lock_guard<std::mutex> guard(mutex_);
      handshake_ = seen;
    }
    if (answer == Answer::kSilent) {
      // Hold the connection without a word until the client gives up.
      uint8_t byte;
      while (ReadExact(&byte, 1)) {
      }
      return !stop_;
    }
    return SendExact(
        Words({answer == Answer::kNormal ? kTagHelloAnswer : 0x12345678u, value1, value2}));
  });
  return *this;
}

FakeDaemon& FakeDaemon::ExpectRequest(uint32_t code) {
  steps_.push_back([this, code] {
    Request request;
    if (!ReadRequest(request)) {
      Fail("expected request " + std::to_string(code) + ", got none");
      return false;
    }
    lastId_ = request.id;
    if (request.code == code) return true;
    Fail("expected request " + std::to_string(code) + ", got " + std::to_string(request.code));
    return false;
  });
  return *this;
}

FakeDaemon& FakeDaemon::ExpectRequest(uint32_t code, Bytes payload) {
  ExpectRequest(code);
  steps_.push_back([this, payload] {
    std::vector<Request> seen = Requests();
    if (!seen.empty() && seen.back().payload == payload) return true;
    Fail("request payload differs");
    return false;
  });
  return *this;
}

FakeDaemon& FakeDaemon::ReplyTo(uint32_t id, Bytes body) {
  steps_.push_back([this, id, body] {
    Bytes frame = Words({kTagReply, id, uint32_t(body.size())});
    frame.insert(frame.end(), body.begin(), body.end());
    return SendExact(frame);
  });
  return *this;
}

FakeDaemon& FakeDaemon::Reply(Bytes body) {
  steps_.push_back([this, body] {
    Bytes frame = Words({kTagReply, lastId_.load(), uint32_t(body.size())});
    frame.insert(frame.end(), body.begin(), body.end());
    return SendExact(frame);
  });
  return *this;
}

FakeDaemon& FakeDaemon::Note(uint32_t code, Bytes payload) {
  steps_.push_back([this, code, payload] {
    Bytes frame = Words({kTagNote, code, uint32_t(payload.size())});
    frame.insert(frame.end(), payload.begin(), payload.end());
    return SendExact(frame);
  });
  return *this;
}

FakeDaemon& FakeDaemon::NoteForLast(uint32_t code, Bytes payloadAfterId) {
  steps_.push_back([this, code, payloadAfterId] {
    Bytes payload = Words({lastId_.load()});
    payload.insert(payload.end(), payloadAfterId.begin(), payloadAfterId.end());
    Bytes frame = Words({kTagNote, code, uint32_t(payload.size())});
    frame.insert(frame.end(), payload.begin(), payload.end());
    return SendExact(frame);
  });
  return *this;
}

FakeDaemon& FakeDaemon::SendRaw(Bytes bytes) {
  steps_.push_back([this, bytes] { return SendExact(bytes); });
  return *this;
}

FakeDaemon& FakeDaemon::ExpectGoodbye() {
  steps_.push_back([this] {
    uint8_t word[4];
    if (!ReadExact(word, 4) || Get32(word) != 1) {
      Fail("expected the goodbye word");
      return false;
    }
    uint8_t extra;
    if (ReadExact(&extra, 1)) {
      Fail("bytes after the goodbye word");
      return false;
    }
    return true;
  });
  return *this;
}

FakeDaemon& FakeDaemon::ExpectClose() {
  steps_.push_back([this] {
    uint8_t byte;
    while (ReadExact(&byte, 1)) {
    }
    return !stop_;
  });
  return *this;
}

FakeDaemon& FakeDaemon::Drop() {
  steps_.push_back([this] {
    CloseConnection();
    return true;
  });
  return *this;
}

FakeDaemon& FakeDaemon::Pause(uint32_t ms) {
  steps_.push_back([this, ms] {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return !stop_;
  });
  return *this;
}

FakeDaemon& FakeDaemon::Serve(Bytes body) {
  steps_.push_back([this, body] {
    Bytes frame = Words({kTagReply, 0, uint32_t(body.size())});
    frame.insert(frame.end(), body.begin(), body.end());
    uint8_t header[12];
    Bytes payload;
    while (ReadExact(header, 12)) {
      uint32_t length = Get32(header + 8);
      if (length > kMaxLength) return false;
      payload.resize(length);
      if (length != 0 && !ReadExact(payload.data(), length)) break;
      if (Get32(header + 4) == 0) continue;  // One-way: no reply.
      std::memcpy(frame.data() + 4, header + 4, 4);
      if (!SendExact(frame)) break;
    }
    return true;
  });
  return *this;
}

FakeDaemon& FakeDaemon::ServeUntil(uint32_t code) {
  steps_.push_back([this, code] {
    Request request;
    while (ReadRequest(request)) {
      lastId_ = request.id;
      if (request.code == code) return true;
      if (request.id != 0 && !SendExact(Words({kTagReply, request.id, 0}))) break;
    }
    Fail("expected request " + std::to_string(code) + ", got none");
    return false;
  });
  return *this;
}
