// FakeDaemon: a scripted stand-in for the asset-database daemon, for tests
// of anything that talks to it (the client library, the commands, the
// benchmarks).
//
// It listens on 127.0.0.1 on a free port (Port) and, once Start is called,
// plays its script on a thread of its own, step by step, in order:
//   ExpectHandshake     take the next connection (closing the previous one),
//                       read the client's handshake (kept in
//                       Handshake()), answer 'VADD' with two values, or a
//                       wrong word, or nothing at all (holding the
//                       connection until the client closes it)
//   ExpectRequest       read one request frame; its code (and payload, when
//                       given) must match; its id becomes the "last id"
//   Reply / ReplyTo     send a 'repl' frame (to the last id, or to any id)
//   Note / NoteForLast  send a 'note' frame (NoteForLast puts the last id in
//                       front of the payload)
//   SendRaw             send bytes as given
//   ExpectGoodbye       read the word 1, then the end of the stream
//   ExpectClose         read until the client closes (bytes are dropped)
//   Drop                close the connection
//   Pause               wait the given milliseconds
//   Serve               answer every request with a reply of the given body
//                       until the client closes (for benchmarks)
//   ServeEcho           answer every request with its own payload, counting
//                       them, until the client closes (for benchmarks)
//   ServeUntil          answer every request with an empty reply until one
//                       of the given code comes; that one is left unanswered
//                       and its id becomes the "last id"
// A mismatch or a step that cannot be done is recorded (Failures) and ends
// the script and the connection. Every frame read is kept (Requests).
//
// Nothing waits without bound: reads poll every 20 ms for the stop flag,
// and the destructor (or Stop) closes every socket and joins the thread.
// Not thread-safe for script building: build the script, then Start.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeDaemon {
 public:
  using Bytes = std::vector<uint8_t>;

  struct Request {
    uint32_t code = 0;
    uint32_t id = 0;
    Bytes payload;
  };
  struct HandshakeSeen {
    uint32_t magic = 0, version = 0, build = 0, clientFlag = 0;
    std::string path;
  };
  enum class Answer { kNormal, kWrongWord, kSilent };

  FakeDaemon() {
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
  ~FakeDaemon() { Stop(); }
  FakeDaemon(const FakeDaemon&) = delete;
  FakeDaemon& operator=(const FakeDaemon&) = delete;

  uint16_t Port() const { return port_; }

  FakeDaemon& ExpectHandshake(Answer answer = Answer::kNormal, uint32_t value1 = 340,
                              uint32_t value2 = 49938) {
    return Add([this, answer, value1, value2] { return AnswerHandshake(answer, value1, value2); });
  }
  FakeDaemon& ExpectRequest(uint32_t code) {
    return Add([this, code] {
      Request request;
      const std::string expected = "expected request " + std::to_string(code);
      if (!ReadRequest(request)) return Fail(expected + ", got none");
      lastId_ = request.id;
      return request.code == code || Fail(expected + ", got " + std::to_string(request.code));
    });
  }
  FakeDaemon& ExpectRequest(uint32_t code, Bytes payload) {
    ExpectRequest(code);
    return Add([this, payload] {
      std::vector<Request> seen = Requests();
      return (!seen.empty() && seen.back().payload == payload) || Fail("request payload differs");
    });
  }
  FakeDaemon& Reply(Bytes body) {
    return Add([this, body] { return SendExact(Frame(kTagReply, lastId_, body)); });
  }
  FakeDaemon& ReplyTo(uint32_t id, Bytes body) {
    return Add([this, id, body] { return SendExact(Frame(kTagReply, id, body)); });
  }
  FakeDaemon& Note(uint32_t code, Bytes payload) {
    return Add([this, code, payload] { return SendExact(Frame(kTagNote, code, payload)); });
  }
  FakeDaemon& NoteForLast(uint32_t code, Bytes payloadAfterId) {
    return Add([this, code, payloadAfterId] {
      Bytes payload = Words({lastId_.load()});
      payload.insert(payload.end(), payloadAfterId.begin(), payloadAfterId.end());
      return SendExact(Frame(kTagNote, code, payload));
    });
  }
  FakeDaemon& SendRaw(Bytes bytes) {
    return Add([this, bytes] { return SendExact(bytes); });
  }
  FakeDaemon& ExpectGoodbye() {
    return Add([this] {
      uint8_t word[4];
      if (!ReadExact(word, 4) || Get32(word) != 1) return Fail("expected the goodbye word");
      uint8_t extra;
      return !ReadExact(&extra, 1) || Fail("bytes after the goodbye word");
    });
  }
  FakeDaemon& ExpectClose() {
    return Add([this] { return DrainUntilClosed(); });
  }
  FakeDaemon& Drop() {
    return Add([this] {
      CloseConnection();
      return true;
    });
  }
  FakeDaemon& Pause(uint32_t ms) {
    return Add([this, ms] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      while (!stop_ && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      return !stop_;
    });
  }
  FakeDaemon& Serve(Bytes body) {
    return Add([this, body] {
      Bytes frame = Frame(kTagReply, 0, body);
      uint8_t header[12];
      Bytes payload;
      while (ReadExact(header, 12)) {
        const uint32_t length = Get32(header + 8);
        if (length > kMaxLength) return false;
        payload.resize(length);
        if (length != 0 && !ReadExact(payload.data(), length)) break;
        if (Get32(header + 4) == 0) continue;  // One-way: no reply.
        std::memcpy(frame.data() + 4, header + 4, 4);
        if (!SendExact(frame)) break;
      }
      return true;
    });
  }
  // Answers every request with its own payload (a KUID resolves to itself)
  // until the client closes; counts the requests (Served).
  FakeDaemon& ServeEcho() {
    return Add([this] {
      Request request;
      while (ReadRequest(request)) {
        ++served_;
        if (request.id != 0 && !SendExact(Frame(kTagReply, request.id, request.payload))) break;
      }
      return true;
    });
  }
  uint64_t Served() const { return served_.load(); }
  FakeDaemon& ServeUntil(uint32_t code) {
    return Add([this, code] {
      Request request;
      while (ReadRequest(request)) {
        lastId_ = request.id;
        if (request.code == code) return true;
        if (request.id != 0 && !SendExact(Frame(kTagReply, request.id, {}))) break;
      }
      return Fail("expected request " + std::to_string(code) + ", got none");
    });
  }

  // Starts playing the script.
  void Start() {
    thread_ = std::thread([this] { Run(); });
  }
  // Waits up to `ms` for the script to finish; true when it did.
  bool WaitDone(uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done_) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  // Stops at once: closes every socket and joins the thread.
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    CloseConnection();
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
  }

  std::vector<std::string> Failures() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return failures_;
  }
  std::vector<Request> Requests() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return requests_;
  }
  HandshakeSeen Handshake() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return handshake_;
  }
  uint32_t LastId() const { return lastId_.load(); }
  // Connections accepted so far.
  uint32_t Accepted() const { return accepted_.load(); }

  // Little-endian helpers for building payloads.
  static void Put32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
  }
  static Bytes Words(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t w : words) Put32(out, w);
    return out;
  }

 private:
  using Step = std::function<bool()>;
  static constexpr int kPollMs = 20;
  static constexpr uint32_t kTagReply = 0x7265706C;
  static constexpr uint32_t kTagNote = 0x6E6F7465;
  static constexpr uint32_t kTagHelloAnswer = 0x56414444;
  static constexpr uint32_t kMaxLength = 64u << 20;

  static uint32_t Get32(const uint8_t* b) {
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
  }
  static Bytes Frame(uint32_t tag, uint32_t word, const Bytes& body) {
    Bytes frame = Words({tag, word, uint32_t(body.size())});
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
  }

  FakeDaemon& Add(Step step) {
    steps_.push_back(std::move(step));
    return *this;
  }

  void Run() {
    for (Step& step : steps_) {
      if (stop_ || step()) continue;
      // A client still waiting for an answer the script will not give fails
      // at once instead of hanging its test.
      CloseConnection();
      break;
    }
    done_ = true;
  }

  // Records a failure; answers false so that a step can end with it.
  bool Fail(std::string text) {
    std::lock_guard<std::mutex> guard(mutex_);
    failures_.push_back(std::move(text));
    return false;
  }

  void CloseConnection() {
    if (connection_ >= 0) close(connection_);
    connection_ = -1;
  }

  bool AcceptNow() {
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

  bool ReadExact(void* dst, size_t n) {
    uint8_t* out = static_cast<uint8_t*>(dst);
    for (size_t got = 0; got < n;) {
      if (stop_ || connection_ < 0) return false;
      pollfd fd = {connection_, POLLIN, 0};
      const int ready = poll(&fd, 1, kPollMs);
      if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
      if (ready < 0) return false;
      const ssize_t r = recv(connection_, out + got, n - got, 0);
      if (r <= 0) return false;
      got += size_t(r);
    }
    return true;
  }

  bool SendExact(const Bytes& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
      if (connection_ < 0) return false;
      const ssize_t w = send(connection_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      sent += size_t(w);
    }
    return true;
  }

  // Reads (and drops) bytes until the client closes; false when stopped.
  bool DrainUntilClosed() {
    uint8_t byte;
    while (ReadExact(&byte, 1)) {
    }
    return !stop_;
  }

  bool ReadRequest(Request& request) {
    uint8_t header[12];
    if (!ReadExact(header, 12)) return false;
    request.code = Get32(header);
    request.id = Get32(header + 4);
    const uint32_t length = Get32(header + 8);
    if (length > kMaxLength) return false;
    request.payload.resize(length);
    if (length != 0 && !ReadExact(request.payload.data(), length)) return false;
    std::lock_guard<std::mutex> guard(mutex_);
    requests_.push_back(request);
    return true;
  }

  bool AnswerHandshake(Answer answer, uint32_t value1, uint32_t value2) {
    if (!AcceptNow()) return Fail("no connection for the handshake");
    uint8_t words[20];
    if (!ReadExact(words, 20)) return Fail("short handshake");
    HandshakeSeen seen;
    seen.magic = Get32(words);
    seen.version = Get32(words + 4);
    seen.build = Get32(words + 8);
    seen.clientFlag = Get32(words + 12);
    const uint32_t length = Get32(words + 16);
    if (length > 65535) return Fail("handshake path too long");
    seen.path.resize(length);
    if (length != 0 && !ReadExact(seen.path.data(), length)) return Fail("short handshake path");
    {
      std::lock_guard<std::mutex> guard(mutex_);
      handshake_ = seen;
    }
    // Silent: hold the connection without a word until the client gives up.
    if (answer == Answer::kSilent) return DrainUntilClosed();
    return SendExact(
        Words({answer == Answer::kNormal ? kTagHelloAnswer : 0x12345678u, value1, value2}));
  }

  int listener_ = -1;
  int connection_ = -1;
  uint16_t port_ = 0;
  std::vector<Step> steps_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::atomic<uint32_t> lastId_{0};
  std::atomic<uint64_t> served_{0};
  std::atomic<uint32_t> accepted_{0};
  mutable std::mutex mutex_;  // Guards the records below.
  std::vector<std::string> failures_;
  std::vector<Request> requests_;
  HandshakeSeen handshake_;
};
