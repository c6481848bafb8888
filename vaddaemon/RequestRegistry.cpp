#include "vaddaemon/RequestRegistry.h"

#include <algorithm>
#include <exception>

#include "foundation/base/LogMessage.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonRequest.h"

void RequestRegistry::Register(uint32_t code, RequestHandler handler, ReaderTest onReader) {
  if (handlers_.count(code) != 0) LogMessage("vaddaemon> handler of request 0x%X replaced", code);
  handlers_[code] = Entry{std::move(handler), onReader, nullptr, nullptr};
}

void RequestRegistry::RegisterReaderAttempt(uint32_t code, ReaderAttempt attempt) {
  auto it = handlers_.find(code);
  if (it != handlers_.end()) it->second.attempt = std::move(attempt);
}

void RequestRegistry::RegisterReaderStart(uint32_t code, ReaderStart start) {
  auto it = handlers_.find(code);
  if (it != handlers_.end()) it->second.start = std::move(start);
}

const RequestHandler* RequestRegistry::Find(uint32_t code) const {
  auto it = handlers_.find(code);
  return it == handlers_.end() ? nullptr : &it->second.handler;
}

bool RequestRegistry::ServedOnReader(uint32_t code, const std::vector<uint8_t>& body) const {
  auto it = handlers_.find(code);
  return it != handlers_.end() && it->second.onReader != nullptr && it->second.onReader(body);
}

std::vector<uint32_t> RequestRegistry::Codes() const {
  std::vector<uint32_t> codes;
  codes.reserve(handlers_.size());
  for (const auto& entry : handlers_) codes.push_back(entry.first);
  std::sort(codes.begin(), codes.end());
  return codes;
}

bool RequestRegistry::TryOnReader(DaemonContext& context,
                                  const std::shared_ptr<DaemonConnection>& connection,
                                  uint32_t code, uint32_t id,
                                  const std::vector<uint8_t>& body) const {
  auto it = handlers_.find(code);
  if (it == handlers_.end() || !it->second.attempt) return false;
  try {
    DaemonRequest request(code, id, body, connection, context);
    if (!it->second.attempt(request)) return false;
    request.SendReply();
    request.RunAfterReply();
    return true;
  } catch (const std::exception& error) {
    // Declined: the handler on a worker answers.
    LogMessage("vaddaemon> request 0x%X: reader attempt failed: %s", code, error.what());
    return false;
  }
}

bool RequestRegistry::HasReaderStart(uint32_t code) const {
  auto it = handlers_.find(code);
  return it != handlers_.end() && it->second.start != nullptr;
}

bool RequestRegistry::StartOnReader(DaemonContext& context,
                                    const std::shared_ptr<DaemonConnection>& connection,
                                    uint32_t code, uint32_t id, const std::vector<uint8_t>& body,
                                    const std::shared_ptr<RequestHandoff>& handoff) const {
  auto it = handlers_.find(code);
  if (it == handlers_.end() || !it->second.start) return false;
  try {
    DaemonRequest request(code, id, body, connection, context);
    return it->second.start(request, handoff);
  } catch (const std::exception& error) {
    // Nothing begun: the handler on a worker does it all.
    LogMessage("vaddaemon> request 0x%X: reader start failed: %s", code, error.what());
    return false;
  }
}

void RequestRegistry::Dispatch(DaemonContext& context,
                               const std::shared_ptr<DaemonConnection>& connection, uint32_t code,
                               uint32_t id, std::vector<uint8_t> body,
                               std::shared_ptr<void> started) const {
  const auto number = static_cast<unsigned long long>(connection->Number());
  try {
    DaemonRequest request(code, id, std::move(body), connection, context);
    request.SetReaderStart(std::move(started));
    const RequestHandler* handler = Find(code);
    if (handler == nullptr) {
      LogMessage("vaddaemon> connection %llu: unknown request 0x%X (id %u)", number, code, id);
    } else {
      try {
        (*handler)(request);
      } catch (const std::exception& error) {
        LogMessage("vaddaemon> request 0x%X failed: %s", code, error.what());
        request.Reply().Reset();
      }
    }
    if (handler == nullptr) request.Reply().Reset();
    request.SendReply();
    request.RunAfterReply();
  } catch (const std::exception& error) {
    LogMessage("vaddaemon> request 0x%X failed: %s", code, error.what());
    if (id != 0) connection->SendReply(id, nullptr, 0);
  }
}
