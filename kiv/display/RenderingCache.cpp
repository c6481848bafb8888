#include "kiv/display/RenderingCache.h"

#include "kiv/display/Material.h"

namespace Kiv {

void AlphaBlendCache::Add(GeometryChunk* chunk, Material* material, const DisplayLightList* lights,
                          const Matrix4* transform) {
  if (chunk == nullptr || material == nullptr) return;
  entries_.push_back(Entry{chunk, material, lights, transform});
}

void AlphaBlendCache::Draw(Display* display, ViewPort* viewport) {
  for (const Entry& entry : entries_)
    entry.material->RenderChunk(display, viewport, entry.chunk, entry.lights, entry.transform, -1);
}

}  // namespace Kiv
