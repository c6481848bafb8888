#include "kiv/display/MaterialPlugin.h"

#include "kiv/RenderKernel.h"

namespace Kiv {

OneTextureMaterialPlugin::~OneTextureMaterialPlugin() {
  ReleaseRef(alphaBlend_);
  ReleaseRef(materialChunks_);
}

bool OneTextureMaterialPlugin::IsSupported(Display* /*display*/, PString& /*fallback*/) {
  return true;
}

bool OneTextureMaterialPlugin::CreatePluginResources(RenderKernel* kernel) {
  if (kernel == nullptr) return false;
  RenderingCacheManager& manager = *kernel->GetRenderingCacheManager();
  if (alphaBlend_ == nullptr)
    alphaBlend_ =
        AcquireRenderingCache<AlphaBlendCache>(manager, AlphaBlendCache::AlphaBlendCacheID);
  if (materialChunks_ == nullptr)
    materialChunks_ = AcquireRenderingCache<MaterialChunkCache>(
        manager, MaterialChunkCache::MaterialChunkCacheID);
  return true;
}

}  // namespace Kiv
