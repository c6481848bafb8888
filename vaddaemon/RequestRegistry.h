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
// second Register of a code replaces the first and logs it. A code without a
// handler is logged by the server and, for a non-zero id, answered with an
// empty reply.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

class DaemonRequest;

using RequestHandler = std::function<void(DaemonRequest& request)>;

class RequestRegistry {
 public:
  void Register(uint32_t code, RequestHandler handler);
  // The handler of `code`, or null.
  const RequestHandler* Find(uint32_t code) const;
  // Every registered code, in increasing order.
  std::vector<uint32_t> Codes() const;

 private:
  std::unordered_map<uint32_t, RequestHandler> handlers_;
};
