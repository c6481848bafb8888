// FakeDaemon: a scripted stand-in for the asset-database daemon, for tests
// of the daemon client.
//
// It listens on 127.0.0.1 on a free port (Port) and, once Start is called,
// plays its script on a thread of its own, step by step, in order:
//   Accept              take the next connection (closing the previous one)
//   ExpectHandshake     Accept, read the client's handshake (kept in
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

#include <atomic>
#include <cstdint>
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

  FakeDaemon();
  ~FakeDaemon();
  FakeDaemon(const FakeDaemon&) = delete;
  FakeDaemon& operator=(const FakeDaemon&) = delete;

  uint16_t Port() const { return port_; }

  FakeDaemon& Accept();
  FakeDaemon& ExpectHandshake(Answer answer = Answer::kNormal, uint32_t value1 = 340,
                              uint32_t value2 = 49938);
  FakeDaemon& ExpectRequest(uint32_t code);
  FakeDaemon& ExpectRequest(uint32_t code, Bytes payload);
  FakeDaemon& Reply(Bytes body);
  FakeDaemon& ReplyTo(uint32_t id, Bytes body);
  FakeDaemon& Note(uint32_t code, Bytes payload);
  FakeDaemon& NoteForLast(uint32_t code, Bytes payloadAfterId);
  FakeDaemon& SendRaw(Bytes bytes);
  FakeDaemon& ExpectGoodbye();
  FakeDaemon& ExpectClose();
  FakeDaemon& Drop();
  FakeDaemon& Pause(uint32_t ms);
  FakeDaemon& Serve(Bytes body);
  FakeDaemon& ServeUntil(uint32_t code);

  // Starts playing the script.
  void Start();
  // Waits up to `ms` for the script to finish; true when it did.
  bool WaitDone(uint32_t ms);
  // Stops at once: closes every socket and joins the thread.
  void Stop();

  std::vector<std::string> Failures() const;
  std::vector<Request> Requests() const;
  HandshakeSeen Handshake() const;
  uint32_t LastId() const { return lastId_.load(); }
  // Connections accepted so far.
  uint32_t Accepted() const { return accepted_.load(); }

  // Little-endian helpers for building payloads.
  static void Put32(Bytes& out, uint32_t value);
  static Bytes Words(std::initializer_list<uint32_t> words);

 private:
  using Step = std::function<bool()>;

  void Run();
  bool AcceptNow();
  bool ReadExact(void* dst, size_t n);
  bool SendExact(const Bytes& bytes);
  bool ReadRequest(Request& request);
  void Fail(std::string text);
  void CloseConnection();

  int listener_ = -1;
  int connection_ = -1;
  uint16_t port_ = 0;
  std::vector<Step> steps_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::atomic<uint32_t> lastId_{0};
  std::atomic<uint32_t> accepted_{0};
  mutable std::mutex mutex_;  // Guards the records below.
  std::vector<std::string> failures_;
  std::vector<Request> requests_;
  HandshakeSeen handshake_;
};
