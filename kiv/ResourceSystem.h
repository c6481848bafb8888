// The engine's resource system, as far as the tool uses it.
//
// One ResourceSystem lives for the engine's run (start-up makes it, the
// engine objects own it). The first one made becomes the current one
// (Current), until it is destroyed; Current is null while none exists.
// Resource caches (meshes, textures ...) register a releaser: a function that
// drops the cached resources nothing holds any more. The resource system does
// not own the caches; a cache removes its releaser before it goes away.
//
// DumpUnusedResourcesFromCache calls every registered releaser, in the order
// they were added. Releasers run under the registry's lock, so once
// RemoveCacheReleaser returns its releaser is not running and never runs
// again; a releaser must therefore not add or remove releasers itself.
// Everything is thread-safe, except that the object must not be destroyed
// while another thread may still reach it through Current.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace Kiv {

class ResourceSystem {
 public:
  using CacheReleaser = std::function<void()>;

  ResourceSystem();
  ~ResourceSystem();
  ResourceSystem(const ResourceSystem&) = delete;
  ResourceSystem& operator=(const ResourceSystem&) = delete;

  static ResourceSystem* Current();

  // Answers the releaser's id (never 0); an empty function is not kept (0).
  uint32_t AddCacheReleaser(CacheReleaser releaser);
  // Unknown ids are ignored.
  void RemoveCacheReleaser(uint32_t id);

  void DumpUnusedResourcesFromCache();

 private:
  struct Entry {
    uint32_t id;
    CacheReleaser releaser;
  };

  std::mutex mutex_;
  std::vector<Entry> releasers_;
  uint32_t next_id_ = 1;
};

}  // namespace Kiv
