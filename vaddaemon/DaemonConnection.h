// DaemonConnection: one client connection of the daemon.
//
// The server makes one per accepted socket and shares it (shared_ptr)
// between the connection's reader thread, the requests in flight and any
// module that keeps it to send to later (a command host, a running repair).
// The socket is closed when the last holder lets go, so its descriptor is
// never reused while a thread may still use it.
//
// Sending: every frame is built whole and sent under the connection's one
// send lock, so frames never interleave; frames of one thread leave in the
// order they are sent (a request's code-3 messages before its reply). A
// send that makes no progress for kSendTimeoutMs, or fails, closes the
// connection. Every Send answers false once the connection is closed;
// nothing is queued then.
//
// Close (any thread, any number of times) shuts the socket down: the reader
// wakes and ends, later sends fail, and the server drops the connection and
// tells the close observers (DaemonContext).
//
// Held frames: the connection's reader answers quick lookups itself, often
// several of them from one receive. While it has asked to hold its frames
// (HoldReaderFrames), the frames that thread sends are kept, up to
// kMaxHeldBytes, and leave together, in one send, at its next Flush or
// ahead of the next frame any other thread sends, so the order of frames is
// the order of their sends. The reader flushes before anything that may
// wait (a receive, a hand-off to a worker), so a held frame never waits for
// the client. A held frame counts as sent; should the later send fail, the
// connection closes as for any failed send.
//
// A class derived from this one may take the frames itself instead of a
// socket (fd -1), e.g. to dispatch requests in-process in a fuzz target:
// it overrides the three Send functions, which must stay thread-safe
// (SendNoteAndReply then calls its SendNote and SendReply in turn).
//
// Thread-safe throughout. Nothing throws.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DaemonConnection {
 public:
  static constexpr uint32_t kSendTimeoutMs = 60000;
  // Held frames beyond this size leave at once.
  static constexpr size_t kMaxHeldBytes = 64 * 1024;

  // Takes ownership of the connected socket `fd`. `number` names the
  // connection in the log (1, 2, ... in accept order).
  DaemonConnection(int fd, uint64_t number);
  virtual ~DaemonConnection();
  DaemonConnection(const DaemonConnection&) = delete;
  DaemonConnection& operator=(const DaemonConnection&) = delete;

  uint64_t Number() const { return number_; }
  int Socket() const { return fd_; }

  // A 'repl' frame: 'repl', id, length, body.
  virtual bool SendReply(uint32_t id, const uint8_t* body, uint32_t length);
  // A 'note' frame: 'note', code, length, payload.
  virtual bool SendNote(uint32_t code, const uint8_t* payload, uint32_t length);
  bool SendNote(uint32_t code, const std::vector<uint8_t>& payload) {
    return SendNote(code, payload.data(), uint32_t(payload.size()));
  }
  // A 'note' frame and then a 'repl' frame, as SendNote and SendReply
  // would send them; on a socket both leave in one send (a request's last
  // messages and its reply). True when both went out.
  bool SendNoteAndReply(uint32_t code, const uint8_t* payload, uint32_t payloadLength,
                        uint32_t id, const uint8_t* body, uint32_t length);
  // Bytes as given, as one frame (the handshake answer; tests).
  virtual bool SendRaw(const uint8_t* bytes, size_t length);

  void Close();
  bool IsClosed() const { return closed_.load(); }
  // True when the connection is closed, or the client has closed its end
  // of the socket (it ended, or shut down its sending side) even though the
  // reader has not seen that yet: what it is sent now may never be read.
  // For a connection without a socket, IsClosed().
  bool PeerClosed() const;

  // From now on, frames the calling thread sends are held (above) until its
  // Flush; called once by the connection's reader.
  void HoldReaderFrames();
  // Sends the held frames; false when that failed (the connection closed).
  bool Flush();

  // What the client said in its handshake (set by the server before any
  // request of the connection is handled).
  void SetHandshake(uint32_t clientFlag, std::string assetIndexPath);
  uint32_t ClientFlag() const { return clientFlag_; }
  const std::string& ClientIndexPath() const { return clientIndexPath_; }

  // Set by request 0x8C: the connection takes command-host jobs.
  void MarkCommandHost() { commandHost_.store(true); }
  bool IsCommandHost() const { return commandHost_.load(); }
  // Set by the reader when the client ended the connection with the
  // goodbye word (an orderly end) before it closes the connection.
  void MarkSaidGoodbye() { saidGoodbye_.store(true); }
  bool SaidGoodbye() const { return saidGoodbye_.load(); }
  // Set by the reader when the connection ended with a reset, before it
  // closes the connection: the client's end was closed while bytes sent to
  // it were still unread there.
  void MarkEndedByReset() { endedByReset_.store(true); }
  bool EndedByReset() const { return endedByReset_.load(); }
  // The request frames the reader has read so far (counted as each is
  // read, before it is handled).
  void CountFrameRead() { framesRead_.fetch_add(1); }
  uint64_t FramesRead() const { return framesRead_.load(); }

 private:
  // Sends (or holds) the frame; sendLock_ held.
  bool SendFrameLocked(const uint8_t* bytes, size_t length);
  bool SendLocked(const uint8_t* bytes, size_t length);
  // Sends the held frames and empties them; sendLock_ held.
  bool SendHeldLocked();

  const int fd_;
  const uint64_t number_;
  std::mutex sendLock_;
  // Guarded by sendLock_: the thread whose frames are held, and the frames.
  std::thread::id holder_;
  std::vector<uint8_t> held_;
  std::atomic<bool> closed_{false};
  std::atomic<bool> commandHost_{false};
  std::atomic<bool> saidGoodbye_{false};
  std::atomic<bool> endedByReset_{false};
  std::atomic<uint64_t> framesRead_{0};
  uint32_t clientFlag_ = 0;
  std::string clientIndexPath_;
};
