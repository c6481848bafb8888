#include "render/materials/VandruMultiPFXMaterialPlugin.h"

#include "kiv/RenderKernel.h"
#include "render/materials/MaterialPluginNames.h"
#include "render/materials/TextureArgsPresets.h"
#include "render/materials/VandruMultiPFXMaterial.h"

namespace Kiv {

VandruMultiPFXMaterialPlugin::VandruMultiPFXMaterialPlugin()
    : MaterialPlugin(PString(kMultiPFXType.type), PString(kMultiPFXType.uid)) {}

VandruMultiPFXMaterialPlugin::~VandruMultiPFXMaterialPlugin() {
  ReleaseRef(materialChunks_);
  ReleaseRef(alphaMask_);
  ReleaseRef(alphaBlend_);
  if (display_ == nullptr) return;
  if (stage0_ != 0) display_->ReleaseTextureStageState(stage0_);
  if (stage1_ != 0) display_->ReleaseTextureStageState(stage1_);
}

bool VandruMultiPFXMaterialPlugin::IsSupported(Display* display, PString& fallback) {
  if (display != nullptr && display->GetTextureStageCount() >= 2) return true;
  fallback = PString(OneTextureMaterialPlugin::UNDECORATED_TYPE);
  return false;
}

bool VandruMultiPFXMaterialPlugin::AcquireRenderingCaches(RenderKernel* kernel) {
  if (kernel == nullptr || kernel->GetDisplay() == nullptr) return false;
  RenderingCacheManager& manager = *kernel->GetRenderingCacheManager();
  if (materialChunks_ == nullptr)
    materialChunks_ = AcquireRenderingCache<MaterialChunkCache>(
        manager, MaterialChunkCache::MaterialChunkCacheID);
  if (alphaMask_ == nullptr)
    alphaMask_ = AcquireRenderingCache<AlphaMaskCache>(manager, AlphaMaskCache::AlphaMaskCacheID);
  if (alphaBlend_ == nullptr)
    alphaBlend_ =
        AcquireRenderingCache<AlphaBlendCache>(manager, AlphaBlendCache::AlphaBlendCacheID);
  if (stage0_ != 0 && stage1_ != 0) return true;
  display_ = kernel->GetDisplay();
  stage0_ = display_->CreateTextureStageState(MultiPFXColourArgs1, MultiPFXAlphaArgs1);
  if (stage0_ == 0) return false;
  stage1_ = display_->CreateTextureStageState(MultiPFXColourArgs2, MultiPFXAlphaArgs2);
  if (stage1_ != 0) return true;
  display_->ReleaseTextureStageState(stage0_);
  stage0_ = 0;
  return false;
}

Material* VandruMultiPFXMaterialPlugin::CreateInstance(MaterialManager* manager,
                                                      RenderKernel* kernel) {
  if (!AcquireRenderingCaches(kernel)) return nullptr;
  return new VandruMultiPFXMaterial(manager, materialChunks_, alphaMask_, alphaBlend_, stage0_,
                                    stage1_);
}

}  // namespace Kiv
