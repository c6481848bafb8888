#include "render/materials/VandruBumpEnvMaterial.h"

#include "kiv/display/Display.h"
#include "kiv/display/ViewPort.h"
#include "render/materials/MaterialMath.h"
#include "render/materials/MaterialPluginNames.h"

namespace Kiv {

std::atomic<VandruBumpEnvMaterial::EnvironmentMapProvider> VandruBumpEnvMaterial::provider_{
    nullptr};

void VandruBumpEnvMaterial::SetEnvironmentMapProvider(EnvironmentMapProvider provider) {
  provider_.store(provider);
}

VandruBumpEnvMaterial::VandruBumpEnvMaterial(MaterialManager* manager, MaterialChunkCache* chunks,
                                             AlphaMaskCache* mask, AlphaBlendCache* blend,
                                             const VandruBumpFamilyPlugin::ProgramSet& programs)
    : VandruBumpExtraMapMaterial(PString(kBumpEnvType.type), manager, chunks, mask, blend,
                                 programs) {
  orientation_.m = {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1};
}

Material* VandruBumpEnvMaterial::Clone() const {
  auto* copy = CloneAs<VandruBumpEnvMaterial>();
  if (copy == nullptr) return nullptr;
  CopyMaps(*copy);
  copy->orientation_ = orientation_;
  return copy;
}

void VandruBumpEnvMaterial::RenderChunk(Display* display, ViewPort* viewport,
                                        GeometryChunk* chunk, const DisplayLightList* lights,
                                        const Matrix4* matrix, int /*pass*/) {
  if (display == nullptr || viewport == nullptr || chunk == nullptr) return;
  SetDisplayState(display);
  const EnvironmentMapProvider provider = provider_.load();
  MaterialTexture* cube = provider != nullptr ? provider(this, viewport) : nullptr;
  if (cube != nullptr) {
    display->SetTexture(3, cube, cube->name);
  } else {
    display->SetEmptyCubeTexture(3);
  }
  if (GetExtraTexture() != nullptr) {
    display->SetTextureTransform(
        1, AffineMatrixProduct(orientation_, TransposedRotation(viewport->viewTransform)));
    transformSet_ = true;
  }
  DrawPasses(display, viewport, chunk, lights, matrix, Range{}, PassOptions{});
  ClearDisplayState(display);
}

void VandruBumpEnvMaterial::ClearDisplayState(Display* display) {
  if (transformSet_) {
    display->ResetTextureTransform(1);
    transformSet_ = false;
  }
  VandruBumpExtraMapMaterial::ClearDisplayState(display);
}

}  // namespace Kiv
