#include "kiv/ResourceSystem.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace Kiv {

namespace {

std::atomic<ResourceSystem*> g_current{nullptr};

}  // namespace

ResourceSystem::ResourceSystem() {
  ResourceSystem* none = nullptr;
  g_current.compare_exchange_strong(none, this);
}

ResourceSystem::~ResourceSystem() {
  ResourceSystem* self = this;
  g_current.compare_exchange_strong(self, nullptr);
}

ResourceSystem* ResourceSystem::Current() {
  return g_current.load();
}

uint32_t ResourceSystem::AddCacheReleaser(CacheReleaser releaser) {
  if (!releaser) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  uint32_t id = next_id_++;
  if (next_id_ == 0) next_id_ = 1;
  releasers_.push_back(Entry{id, std::move(releaser)});
  return id;
}

void ResourceSystem::RemoveCacheReleaser(uint32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(releasers_.begin(), releasers_.end(),
                         [id](const Entry& e) { return e.id == id; });
  if (it != releasers_.end()) releasers_.erase(it);
}

void ResourceSystem::DumpUnusedResourcesFromCache() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& entry : releasers_) entry.releaser();
}

}  // namespace Kiv
