#include "vaddaemon/RequestRegistry.h"

#include <algorithm>

#include "foundation/LogMessage.h"

void RequestRegistry::Register(uint32_t code, RequestHandler handler) {
  if (handlers_.count(code) != 0) LogMessage("vaddaemon> handler of request 0x%X replaced", code);
  handlers_[code] = std::move(handler);
}

const RequestHandler* RequestRegistry::Find(uint32_t code) const {
  auto it = handlers_.find(code);
  return it == handlers_.end() ? nullptr : &it->second;
}

std::vector<uint32_t> RequestRegistry::Codes() const {
  std::vector<uint32_t> codes;
  codes.reserve(handlers_.size());
  for (const auto& entry : handlers_) codes.push_back(entry.first);
  std::sort(codes.begin(), codes.end());
  return codes;
}
