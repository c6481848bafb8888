#include "render/materials/AlphaBlendCaches.h"

#include "kiv/RenderKernel.h"
#include "render/materials/AlphaBlendCacheUnsorted.h"
#include "render/materials/VandruAlphaBlendCache.h"

namespace Kiv {

bool CreateAlphaBlendCaches(RenderKernel* kernel, VandruAlphaBlendCache** sorted,
                            AlphaBlendCacheUnsorted** unsorted) {
  if (kernel == nullptr) return false;
  RenderingCacheManager& manager = *kernel->GetRenderingCacheManager();
  if (manager.FindCache(PString(AlphaBlendCache::AlphaBlendCacheID)) != nullptr ||
      manager.FindCache(PString(AlphaBlendCacheUnsorted::kName)) != nullptr)
    return false;
  Ref<VandruAlphaBlendCache> depthSorted(new VandruAlphaBlendCache);
  Ref<AlphaBlendCacheUnsorted> inOrder(new AlphaBlendCacheUnsorted);
  manager.AddCache(depthSorted.get());
  manager.AddCache(inOrder.get());
  depthSorted->AddReference();
  inOrder->AddReference();
  *sorted = depthSorted.get();
  *unsorted = inOrder.get();
  return true;
}

}  // namespace Kiv
