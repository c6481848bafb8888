#include "assetdb/client/UserNameCache.h"

#include <algorithm>
#include <iterator>
#include <list>
#include <mutex>
#include <unordered_map>

#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

struct Entry {
  Kiv::PString name;
  int32_t secondId;
  int32_t userId;
};

struct Cache {
  std::mutex lock;
  std::list<Entry> entries;
  std::unordered_map<int32_t, std::list<Entry>::iterator> byUser;
  std::unordered_map<int32_t, std::list<Entry>::iterator> bySecond;
  std::unordered_map<Kiv::PString, std::list<Entry>::iterator> byName;

  void Clear() {
    byUser.clear();
    bySecond.clear();
    byName.clear();
    entries.clear();
  }

  // Drops the entry from all three indexes and from the list.
  void Remove(std::list<Entry>::iterator entry) {
    const auto user = byUser.find(entry->userId);
    if (user != byUser.end() && user->second == entry) byUser.erase(user);
    const auto second = bySecond.find(entry->secondId);
    if (second != bySecond.end() && second->second == entry) bySecond.erase(second);
    const auto name = byName.find(entry->name);
    if (name != byName.end() && name->second == entry) byName.erase(name);
    entries.erase(entry);
  }

  template <typename Map, typename Key>
  void RemoveUnder(Map& map, const Key& key) {
    const auto found = map.find(key);
    if (found != map.end()) Remove(found->second);
  }
};

Cache& TheCache() {
  static Cache* cache = new Cache;  // Lives to the end of the process.
  return *cache;
}

// The fixed name of `userId`, or none.
const char* FixedName(int32_t userId) {
  if (userId == 0) return "-";
  if (userId == -2) return "unknown";
  if (userId < 0) return "Orvak";
  if (std::find(kMakerAccounts.begin(), kMakerAccounts.end(), userId) != kMakerAccounts.end())
    return "Orvak";
  return nullptr;
}

}  // namespace

void UserNameCache::Init() {
  Clear();
}

void UserNameCache::Clear() {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  cache.Clear();
}

void UserNameCache::Insert(int32_t secondId, const Kiv::PString& name, int32_t userId) {
  if (secondId == -1 && name.Empty()) return;
  Kiv::PString lower = name;
  lower.ToLower();
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  cache.RemoveUnder(cache.byUser, userId);
  if (secondId != -1) cache.RemoveUnder(cache.bySecond, secondId);
  if (!lower.Empty()) cache.RemoveUnder(cache.byName, lower);
  cache.entries.push_back(Entry{lower, secondId, userId});
  const auto entry = std::prev(cache.entries.end());
  cache.byUser[userId] = entry;
  if (secondId != -1) cache.bySecond[secondId] = entry;
  if (!lower.Empty()) cache.byName[lower] = entry;
}

bool UserNameCache::Find(int32_t userId, int32_t& secondId, Kiv::PString& name) {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  const auto found = cache.byUser.find(userId);
  if (found == cache.byUser.end()) return false;
  secondId = found->second->secondId;
  name = found->second->name;
  return true;
}

uint32_t UserNameCache::Count() {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  return static_cast<uint32_t>(cache.entries.size());
}

bool LookupUserName(int32_t userId, int32_t& secondId, Kiv::PString& name) {
  if (const char* fixed = FixedName(userId)) {
    secondId = -1;
    name = Kiv::PString(fixed);
    return true;
  }
  if (UserNameCache::Find(userId, secondId, name)) return true;
  secondId = -1;
  name.Release();
  VADRequest request;
  TStreamWriteU32(request.Body(), static_cast<uint32_t>(userId));
  if (!request.Transact(VADRequestCode::kLookupUserName)) return true;
  ReadUserNameReply(request.Reply(), secondId, name);
  UserNameCache::Insert(secondId, name, userId);
  return true;
}

void ReadUserNameReply(TStream& reply, int32_t& secondId, Kiv::PString& name) {
  uint32_t second = 0xFFFFFFFFu;
  TStreamReadU32(reply, second, 0xFFFFFFFFu);
  name.Release();
  reply.ReadPString(name);
  secondId = static_cast<int32_t>(second);
  name.ToLower();
}

Kiv::PString GetUserName(int32_t userId) {
  int32_t secondId = -1;
  Kiv::PString name;
  LookupUserName(userId, secondId, name);
  return name;
}
