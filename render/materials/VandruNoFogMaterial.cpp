#include "render/materials/VandruNoFogMaterial.h"

#include "kiv/display/Display.h"
#include "render/materials/MaterialPluginNames.h"

namespace Kiv {

VandruNoFogMaterial::VandruNoFogMaterial(MaterialManager* manager, MaterialChunkCache* chunks,
                                         AlphaMaskCache* mask, AlphaBlendCache* blend)
    : OneTextureMaterial(PString(kNoFogType.type), manager, chunks, mask, blend) {}

Material* VandruNoFogMaterial::Clone() const {
  auto* copy = CloneAs<VandruNoFogMaterial>();
  if (copy == nullptr) return nullptr;
  copy->blendSource_ = blendSource_;
  copy->blendDestination_ = blendDestination_;
  return copy;
}

void VandruNoFogMaterial::SetDisplayState(Display* display) {
  savedFog_ = display->GetFogMode();
  display->SetFogMode(0);
  display->SetCullMode((GetFlags() & kTwoSided) != 0 ? 0 : 1);
  OneTextureMaterial::SetDisplayState(display);
  if ((GetFlags() & kKeepBlending) == 0) {
    savedBlendMode_ = display->GetAlphaBlendMode();
    savedSource_ = display->GetAlphaBlendSource();
    savedDestination_ = display->GetAlphaBlendDestination();
    display->SetAlphaBlendFunction(blendSource_, blendDestination_);
    display->SetAlphaBlendMode(1);
  }
  if (stageState_ != 0) display->ApplyTextureStageState(stageState_);
}

void VandruNoFogMaterial::ClearDisplayState(Display* display) {
  display->SetFogMode(savedFog_);
  display->SetCullMode(1);
  if ((GetFlags() & kKeepBlending) == 0) {
    display->SetAlphaBlendMode(savedBlendMode_);
    display->SetAlphaBlendFunction(savedSource_, savedDestination_);
  }
  if (stageState_ != 0) display->ResetTextureStage(0);
  OneTextureMaterial::ClearDisplayState(display);
}

}  // namespace Kiv
