// Kiv::AlphaBlendCacheUnsorted: a cache of transparent chunks drawn in the
// order they came (name "AlphaBlendCacheUnsorted", priority 55).
//
// Draw remembers the display's blend factors, sets blend function (4, 5),
// alpha test off, blending on and depth writes off, lets each chunk's
// material draw it (RenderChunk, pass -1), then restores the remembered
// blend factors and sets blending off, alpha test off and depth writes on;
// the entries are kept until Clear or Flush. The arrays are kept between
// frames. Instance() names the newest cache alive (null when none).
// Rendering thread only.
#pragma once

#include <vector>

#include "kiv/display/RenderingCache.h"

namespace Kiv {

class AlphaBlendCacheUnsorted : public RenderingCache {
 public:
  static constexpr const char* kName = "AlphaBlendCacheUnsorted";

  AlphaBlendCacheUnsorted();
  ~AlphaBlendCacheUnsorted() override;

  static AlphaBlendCacheUnsorted* Instance();

  void Add(GeometryChunk* chunk, Material* material, const DisplayLightList* lights,
           const Matrix4* transform);
  void Clear() override { entries_.clear(); }
  void Draw(Display* display, ViewPort* viewport) override;
  bool IsEmpty() const override { return entries_.empty(); }

 private:
  struct Entry {
    GeometryChunk* chunk;
    Material* material;
    const DisplayLightList* lights;
    const Matrix4* transform;
  };
  std::vector<Entry> entries_;
};

}  // namespace Kiv
