// The byte transport under the daemon connection.
//
// NetTransport is an abstract stream over one connected socket. Its state is
// kReady (0) while transfers may run, kNotConnected (2) when the connection
// was never made, kClosed (5) after Close and kFailed (7) after a transfer
// error; every state but kReady makes NetSendExact and NetReceiveExact fail
// at once. The socket is -1 when there is none.
//
// Read and Peek answer the count received, 0 when the peer has closed, and a
// negative value on error; Write answers the count sent or a negative value.
// None of them raises SIGPIPE. Close sets kClosed and wakes any thread
// blocked in a Read, Peek or Write on this transport (they answer 0 or a
// negative value); the socket reads -1 afterwards. The descriptor itself is
// kept until the transport is destroyed, so a transfer racing with Close can
// never reach another file that reuses its number.
//
// Transports do not lock: the daemon connection serialises its calls, with
// the one exception that Close may be called while another thread is blocked
// in a transfer (the state and socket fields are atomic for that).
//
// Reconnect answers a new transport of the same kind to the same host on
// `port` (the caller owns it), or null. Nothing here throws.
#pragma once

#include <atomic>
#include <cstdint>

class NetTransport {
 public:
  static constexpr int32_t kReady = 0;
  static constexpr int32_t kNotConnected = 2;
  static constexpr int32_t kClosed = 5;
  static constexpr int32_t kFailed = 7;

  NetTransport() = default;
  NetTransport(const NetTransport&) = delete;
  NetTransport& operator=(const NetTransport&) = delete;

  virtual int Read(void* buffer, int length) = 0;
  virtual int Peek(void* buffer, int length) = 0;
  virtual int Write(const void* buffer, int length) = 0;
  // State kClosed; shuts the socket down (waking blocked transfers) and
  // forgets it. Closing twice is harmless.
  virtual void Close();
  virtual NetTransport* Reconnect(uint16_t port) = 0;
  // Closes the descriptor (also one that Close has shut down).
  virtual ~NetTransport();
  virtual bool BytesAvailable() = 0;

  int32_t GetState() const { return state_.load(); }
  int GetSocket() const { return socket_.load(); }
  // Sets kFailed when the state is still kReady (other states are kept).
  void MarkFailed();

 protected:
  // Takes ownership of `socket` (-1 for none): state kReady when it is a
  // socket, kNotConnected otherwise.
  void Attach(int socket);

  std::atomic<int32_t> state_{kNotConnected};
  std::atomic<int> socket_{-1};

 private:
  int descriptor_ = -1;  // Closed by the destructor only.
};
