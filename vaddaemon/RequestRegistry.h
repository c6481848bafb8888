// RequestRegistry: the table from request code to handler.
//
// A handler runs on a worker thread with the request (DaemonRequest.h): it
// reads the body, may send notifications on the connection (code-3
// messages for this request go before the reply), and writes the reply
// body, which the server sends when the handler returns, for a non-zero
// transaction id only. Handlers of different requests run concurrently, also
// several of one connection, so they lock what they share.
//
// The table is filled at start-up, before the listener opens, and only read
// afterwards; so Register must not be called while the daemon serves. A
// second Register of a code replaces the first and logs it.
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

using RequestHandler = std::function<void(DaemonRequest& request)>;

class RequestRegistry {
 public:
  void Register(uint32_t code, RequestHandler handler);
  // The handler of `code`, or null.
  const RequestHandler* Find(uint32_t code) const;
  // Every registered code, in increasing order.
  std::vector<uint32_t> Codes() const;

  void Dispatch(DaemonContext& context, const std::shared_ptr<DaemonConnection>& connection,
                uint32_t code, uint32_t id, std::vector<uint8_t> body) const;

 private:
  std::unordered_map<uint32_t, RequestHandler> handlers_;
};
