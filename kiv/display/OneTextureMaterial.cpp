#include "kiv/display/OneTextureMaterial.h"

#include "kiv/display/Display.h"

namespace Kiv {

OneTextureMaterial::OneTextureMaterial(const PString& kind, MaterialManager* manager,
                                       MaterialChunkCache* chunks, AlphaMaskCache* mask,
                                       AlphaBlendCache* blend)
    : Material(kind), manager_(manager), chunks_(chunks), mask_(mask), blend_(blend) {}

void OneTextureMaterial::SetAmbientColor(const Color& colour) {
  DisplayMaterial material = GetDisplayMaterial();
  material.ambient = colour;
  SetDisplayMaterialProperties(material);
}

void OneTextureMaterial::SetDisplayState(Display* display) {
  savedUnit0_ = display->GetTexture(0);
  if (base_) {
    display->SetTexture(0, base_.get(), base_->name);
    return;
  }
  display->SetEmptyTexture(0);
}

void OneTextureMaterial::ClearDisplayState(Display* display) {
  if (display->GetTexture(0) == savedUnit0_) return;
  if (savedUnit0_ == nullptr) {
    display->SetEmptyTexture(0);
    return;
  }
  display->SetTexture(0, savedUnit0_, PString("(restored)"));
}

}  // namespace Kiv
