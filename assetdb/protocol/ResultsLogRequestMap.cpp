// The process-wide map from daemon request ids to results logs.
#include <map>

#include "assetdb/protocol/ResultsLog.h"
#include "kiv/CriticalSection.h"

namespace {

struct RequestMap {
  Kiv::CriticalSection lock;
  std::map<uint32_t, ResultsLog*> logs;
};

// Built on first use and never destroyed, so logs destroyed by static
// destructors can still unregister.
RequestMap& Map() {
  static RequestMap* map = new RequestMap;
  return *map;
}

}  // namespace

void ResultsLog::RegisterRequest(uint32_t id, ResultsLog* log) {
  RequestMap& map = Map();
  Kiv::SingleLock guard(map.lock);
  map.logs[id] = log;
}

ResultsLog* ResultsLog::FindByRequest(uint32_t id) {
  RequestMap& map = Map();
  Kiv::SingleLock guard(map.lock);
  auto it = map.logs.find(id);
  return it == map.logs.end() ? nullptr : it->second;
}

void ResultsLog::UnregisterRequest(uint32_t id) {
  RequestMap& map = Map();
  Kiv::SingleLock guard(map.lock);
  map.logs.erase(id);
}

void ResultsLog::UnregisterLog(const ResultsLog* log) {
  RequestMap& map = Map();
  Kiv::SingleLock guard(map.lock);
  for (auto it = map.logs.begin(); it != map.logs.end();) {
    it = it->second == log ? map.logs.erase(it) : std::next(it);
  }
}

int ResultsLog::ReadMessagesForRequest(uint32_t id, TStream& stream) {
  RequestMap& map = Map();
  Kiv::SingleLock guard(map.lock);
  auto it = map.logs.find(id);
  if (it == map.logs.end() || it->second == nullptr) return 0;
  return it->second->ReadMessages(stream) ? 1 : -1;
}
