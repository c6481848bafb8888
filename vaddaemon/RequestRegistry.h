// RequestRegistry: the table from request code to handler.
//
// A handler runs with the request (DaemonRequest.h) on a worker thread, or,
// when it was registered as kOnReader, on the connection's reader before the
// next frame is read (see below). It reads the body, may send notifications on the connection (code-3
// messages for this request go before the reply), and writes the reply
// body, which the server sends when the handler returns, for a non-zero
// transaction id only. Handlers of different requests run concurrently, also
// several of one connection, so they lock what they share.
//
// The table is filled at start-up, before the listener opens, and only read
// afterwards; so Register must not be called while the daemon serves. A
// second Register of a code replaces the first and logs it.
//
// A handler registered with a reader test is served on the reader for the
// requests whose body passes the test (Always: all of them). That is for
// requests that never wait on another request, a command host, a client or
// a lock held across such a wait (they may take the store's index lock and
// read a few files): quick lookups. Served on the reader they cost no
// hand-off to a worker; while one runs, that one connection's next frame
// waits. A request that may wait for anything a client sends (a command
// host's reply, an answer to a question, an asset's KUID lock) must go to a
// worker, or it could wait for a frame its own reader does not read.
//
// A reader attempt serves some requests of a code on the reader when it can
// without waiting (RegisterReaderAttempt): it gets the request and answers
// true once it wrote the reply body, or false, having sent and changed
// nothing, to leave the request to its handler on a worker.
// TryOnReader runs it and, when it answered, sends the reply.
//
// A reader start takes a request that would go to a worker while still on
// the reader (RegisterReaderStart), when it can begin it without waiting:
// the validate request sends its job to a command host with room at once,
// and the thread that reads the host's answer answers the tool, with no
// worker involved. A start that took its request answers true and ends it
// later, from any thread, through its RequestHandoff: Done once the reply
// is sent (or the request is given up), or ToWorker to have the handler
// finish it on a worker after all, with what was begun as the request's
// DaemonRequest::ReaderStart. Until then the request counts among its
// connection's requests in flight. A start that answers false has begun
// nothing (and sent nothing); the request goes to a worker as usual.
//
// Dispatch runs one request on the calling thread, as the server's workers
// do and as fuzz targets do without a socket: the code's handler (a code
// without one is logged), then, for a non-zero id, the reply on the
// connection (the handler's body; an empty one when the code has no
// handler, the handler threw, or the reply could not be written whole),
// then the request's AfterReply work. Nothing throws out of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class DaemonConnection;
class DaemonContext;
class DaemonRequest;

// How a request taken by a reader start ends (RequestRegistry). Exactly one
// of the two is called, once, from any thread.
class RequestHandoff {
 public:
  virtual ~RequestHandoff() = default;
  // The request is over (its reply sent, or no longer wanted).
  virtual void Done() = 0;
  // The request goes to a worker, whose handler finds `started` as its
  // ReaderStart and finishes it.
  virtual void ToWorker(std::shared_ptr<void> started) = 0;
};

using RequestHandler = std::function<void(DaemonRequest& request)>;

class RequestRegistry {
 public:
  // Whether a request of a code is served on its connection's reader, from
  // its body (which may be short or damaged: then answer false).
  using ReaderTest = bool (*)(const std::vector<uint8_t>& body);
  static bool Always(const std::vector<uint8_t>& /*body*/) { return true; }
  using ReaderAttempt = std::function<bool(DaemonRequest& request)>;
  using ReaderStart = std::function<bool(DaemonRequest& request,
                                         const std::shared_ptr<RequestHandoff>& handoff)>;

  // `onReader` null: always served on a worker.
  void Register(uint32_t code, RequestHandler handler, ReaderTest onReader = nullptr);
  // Adds a reader attempt to the handler of `code`.
  void RegisterReaderAttempt(uint32_t code, ReaderAttempt attempt);
  // Adds a reader start to the handler of `code`.
  void RegisterReaderStart(uint32_t code, ReaderStart start);
  // The handler of `code`, or null.
  const RequestHandler* Find(uint32_t code) const;
  // True when `code` has a handler whose reader test passes `body`.
  bool ServedOnReader(uint32_t code, const std::vector<uint8_t>& body) const;
  // Every registered code, in increasing order.
  std::vector<uint32_t> Codes() const;

  // Runs the reader attempt of `code` on a copy of `body`; true when it
  // answered (the reply is sent), false when there is none or it declined.
  bool TryOnReader(DaemonContext& context, const std::shared_ptr<DaemonConnection>& connection,
                   uint32_t code, uint32_t id, const std::vector<uint8_t>& body) const;

  // True when `code` has a reader start.
  bool HasReaderStart(uint32_t code) const;
  // Runs the reader start of `code` on a copy of `body`; true when it took
  // the request (it ends it through `handoff`), false when there is none or
  // it began nothing.
  bool StartOnReader(DaemonContext& context, const std::shared_ptr<DaemonConnection>& connection,
                     uint32_t code, uint32_t id, const std::vector<uint8_t>& body,
                     const std::shared_ptr<RequestHandoff>& handoff) const;

  // `started`: what the code's reader start began for this request, if any.
  void Dispatch(DaemonContext& context, const std::shared_ptr<DaemonConnection>& connection,
                uint32_t code, uint32_t id, std::vector<uint8_t> body,
                std::shared_ptr<void> started = nullptr) const;

 private:
  struct Entry {
    RequestHandler handler;
    ReaderTest onReader = nullptr;
    ReaderAttempt attempt;
    ReaderStart start;
  };
  std::unordered_map<uint32_t, Entry> handlers_;
};
