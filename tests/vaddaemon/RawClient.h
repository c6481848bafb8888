// RawClient: a plain socket client of the daemon's protocol for tests.
//
// It speaks the wire format byte by byte (assetdb/VADFrames.h), without the
// client library, so tests check the daemon's replies as they are on the
// wire and can send anything, also garbage. Every read waits at most the
// given time-out (default kTimeoutMs), so a silent daemon fails a test and
// never hangs it.
//
// Frames read: 'repl' (word = transaction id) and 'note' (word = code); a
// frame with another tag is returned as read (tag, word, no body). Bodies
// over kMaxBody bytes fail the read.
//
// Bodies are built with tests/support/WireBody.h; BodyReader reads them
// back ("string": u32 n, n bytes; "PString": u32 n+1, bytes, NUL); a short
// read sets its failed flag and yields zeros.
//
// Not thread-safe: one thread per client.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

class RawClient {
 public:
  static constexpr int kTimeoutMs = 10000;
  static constexpr uint32_t kMaxBody = 64u << 20;

  struct Frame {
    uint32_t tag = 0;   // 'repl' or 'note' (as a little-endian word)
    uint32_t word = 0;  // the id of a reply, the code of a note
    Bytes body;
    bool IsReply() const;
    bool IsNote() const;
  };

  RawClient() = default;
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connect(uint16_t port);
  // Connect, send the handshake for `assetIndexPath`, read the 12-byte
  // answer into `answer` (when given) and check its first word is 'VADD'.
  bool Open(uint16_t port, std::string_view assetIndexPath, uint32_t clientFlag = 1,
            Bytes* answer = nullptr);
  bool SendHandshake(std::string_view assetIndexPath, uint32_t clientFlag = 1);

  bool Send(const void* bytes, size_t length);
  bool Send(const Bytes& bytes) { return Send(bytes.data(), bytes.size()); }
  bool SendRequest(uint32_t code, uint32_t id, const Bytes& body);

  // Exactly n bytes within `timeoutMs`.
  bool Receive(void* dst, size_t n, int timeoutMs = kTimeoutMs);
  bool ReadFrame(Frame& frame, int timeoutMs = kTimeoutMs);
  // Sends the request, then reads frames until the reply for `id`; the notes
  // read before it go to `notes` (when given). False on a failed transfer,
  // a frame of another tag or a reply for another id.
  bool Transact(uint32_t code, uint32_t id, const Bytes& body, Bytes* reply,
                std::vector<Frame>* notes = nullptr, int timeoutMs = kTimeoutMs);
  // True when the daemon closes the connection within `timeoutMs` (bytes
  // arriving meanwhile are dropped).
  bool WaitClosed(int timeoutMs = kTimeoutMs);
  void Close();
  int Socket() const { return fd_; }

 private:
  int fd_ = -1;
};

class BodyReader {
 public:
  explicit BodyReader(const Bytes& bytes) : bytes_(bytes) {}
  uint8_t U8();
  uint32_t U32();
  uint64_t U64();
  // Either string form; the text is cut at its first NUL.
  std::string String();
  bool Failed() const { return failed_; }
  // True when every byte was read and nothing failed.
  bool AtEnd() const { return !failed_ && at_ == bytes_.size(); }

 private:
  bool Need(size_t n);
  const Bytes& bytes_;
  size_t at_ = 0;
  bool failed_ = false;
};
