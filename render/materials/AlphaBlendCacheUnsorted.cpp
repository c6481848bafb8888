#include "render/materials/AlphaBlendCacheUnsorted.h"

#include "kiv/display/Display.h"
#include "kiv/display/Material.h"

namespace Kiv {

namespace {
AlphaBlendCacheUnsorted* gInstance = nullptr;
}  // namespace

AlphaBlendCacheUnsorted::AlphaBlendCacheUnsorted() : RenderingCache(PString(kName), 55.0f) {
  gInstance = this;
}

AlphaBlendCacheUnsorted::~AlphaBlendCacheUnsorted() {
  if (gInstance == this) gInstance = nullptr;
}

AlphaBlendCacheUnsorted* AlphaBlendCacheUnsorted::Instance() {
  return gInstance;
}

void AlphaBlendCacheUnsorted::Add(GeometryChunk* chunk, Material* material,
                                  const DisplayLightList* lights, const Matrix4* transform) {
  if (chunk == nullptr || material == nullptr) return;
  entries_.push_back(Entry{chunk, material, lights, transform});
}

void AlphaBlendCacheUnsorted::Draw(Display* display, ViewPort* viewport) {
  if (display == nullptr || entries_.empty()) return;
  const uint32_t source = display->GetAlphaBlendSource();
  const uint32_t destination = display->GetAlphaBlendDestination();
  display->SetAlphaBlendFunction(4, 5);
  display->SetAlphaTest(false);
  display->SetAlphaBlendMode(1);
  display->SetDepthWrite(false);
  for (const Entry& entry : entries_)
    entry.material->RenderChunk(display, viewport, entry.chunk, entry.lights, entry.transform, -1);
  display->SetAlphaBlendFunction(source, destination);
  display->SetAlphaBlendMode(0);
  display->SetAlphaTest(false);
  display->SetDepthWrite(true);
}

}  // namespace Kiv
