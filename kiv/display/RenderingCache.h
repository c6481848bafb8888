// Rendering caches: collections of geometry that materials hand over while
// a view is drawn and that are drawn when the cache is flushed.
//
// Kiv::RenderingCache is counted (Kiv::ReferenceCount) and has a name (its
// id in the manager) and a priority. Flush draws what was collected and
// clears it; Enter and Leave bracket a nested view (nested false does
// nothing in the base).
//
// Kiv::RenderingCacheManager holds one reference to each cache added, keyed
// by name; FindCache answers the cache of a name (no reference added) or
// null; AddCache refuses (false) a null cache or a name already held.
// Releasing the manager drops its references. Not thread-safe.
//
// Kiv::AlphaBlendCache is the engine's cache of transparent chunks under the
// id AlphaBlendCacheID. The base draws the chunks in the order they came,
// each with its material (RenderChunk with pass -1) and no blend changes;
// derived caches sort. Kiv::AlphaMaskCache and Kiv::MaterialChunkCache are
// the engine's other caches that the material plug-ins share; the null
// display keeps them empty. Kiv::UnsortedAlphaBlendCache is the engine's
// cache of transparent chunks drawn in the order they came, under its own
// name; its mode is kept as given.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"

namespace Kiv {

class Display;
class GeometryChunk;
class Material;
struct Matrix4;
struct ViewPort;
struct DisplayLight;
using DisplayLightList = std::vector<const DisplayLight*>;

class RenderingCache : public ReferenceCount {
 public:
  RenderingCache(const PString& name, float priority) : name_(name), priority_(priority) {}

  const PString& GetName() const { return name_; }
  float GetPriority() const { return priority_; }

  virtual void Clear() = 0;
  virtual void Draw(Display* display, ViewPort* viewport) = 0;
  virtual bool IsEmpty() const = 0;
  void Flush(Display* display, ViewPort* viewport) {
    Draw(display, viewport);
    Clear();
  }
  virtual void Enter(Display* /*display*/, ViewPort* /*viewport*/, bool /*nested*/) {}
  virtual void Leave(Display* /*display*/, ViewPort* /*viewport*/, bool /*nested*/) {}

 private:
  PString name_;
  float priority_;
};

class RenderingCacheManager {
 public:
  RenderingCacheManager() = default;
  ~RenderingCacheManager() { RemoveAll(); }
  RenderingCacheManager(const RenderingCacheManager&) = delete;
  RenderingCacheManager& operator=(const RenderingCacheManager&) = delete;

  RenderingCache* FindCache(const PString& name) const {
    const auto found = caches_.find(name);
    return found == caches_.end() ? nullptr : found->second.get();
  }
  bool AddCache(RenderingCache* cache) {
    if (cache == nullptr || caches_.count(cache->GetName()) != 0) return false;
    caches_.emplace(cache->GetName(), Ref<RenderingCache>(cache));
    return true;
  }
  void RemoveAll() { caches_.clear(); }

 private:
  std::unordered_map<PString, Ref<RenderingCache>> caches_;
};

class AlphaBlendCache : public RenderingCache {
 public:
  static constexpr const char* AlphaBlendCacheID = "AlphaBlendCache";

  AlphaBlendCache() : RenderingCache(PString(AlphaBlendCacheID), 50.0f) {}

  // `lights` and `transform` stay the caller's and must live until the
  // cache is drawn or cleared.
  virtual void Add(GeometryChunk* chunk, Material* material, const DisplayLightList* lights,
                   const Matrix4* transform);
  void Clear() override { entries_.clear(); }
  void Draw(Display* display, ViewPort* viewport) override;
  bool IsEmpty() const override { return entries_.empty(); }

 protected:
  AlphaBlendCache(const PString& name, float priority) : RenderingCache(name, priority) {}

 private:
  struct Entry {
    GeometryChunk* chunk;
    Material* material;
    const DisplayLightList* lights;
    const Matrix4* transform;
  };
  std::vector<Entry> entries_;
};

class UnsortedAlphaBlendCache : public AlphaBlendCache {
 public:
  static constexpr const char* kName = "UnsortedAlphaBlendCache";

  explicit UnsortedAlphaBlendCache(uint32_t mode)
      : AlphaBlendCache(PString(kName), 55.0f), mode_(mode) {}
  uint32_t GetMode() const { return mode_; }

 private:
  uint32_t mode_;
};

class AlphaMaskCache : public RenderingCache {
 public:
  static constexpr const char* AlphaMaskCacheID = "AlphaMaskCache";
  AlphaMaskCache() : RenderingCache(PString(AlphaMaskCacheID), 40.0f) {}
  void Clear() override {}
  void Draw(Display* /*display*/, ViewPort* /*viewport*/) override {}
  bool IsEmpty() const override { return true; }
};

class MaterialChunkCache : public RenderingCache {
 public:
  static constexpr const char* MaterialChunkCacheID = "MaterialChunkCache";
  MaterialChunkCache() : RenderingCache(PString(MaterialChunkCacheID), 30.0f) {}
  void Clear() override {}
  void Draw(Display* /*display*/, ViewPort* /*viewport*/) override {}
  bool IsEmpty() const override { return true; }
};

}  // namespace Kiv
