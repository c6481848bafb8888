// Kiv::VandruBumpEnvMaterial ("tbumpenv"): the bump material with an
// environment map (slot 9) reflected through the env programs of its
// plug-in.
//
// RenderChunk binds the cube map that the process-wide environment-map
// provider gives for the material and viewport to texture unit 3, or
// leaves unit 3 an empty cube unit when no provider is set (nothing in
// this program sets one) or it gives none. With an environment texture the
// stage-1 texture transform is the material's orientation times the
// transpose of the camera's view rotation for the draw (reset afterwards).
// Then the bump material's passes. Its orientation starts as the rows
// (1,0,0,0), (0,0,1,0), (0,-1,0,0), (0,0,0,1). Rendering thread only.
#pragma once

#include <atomic>

#include "render/materials/VandruBumpExtraMapMaterial.h"

namespace Kiv {

class VandruBumpEnvMaterial : public VandruBumpExtraMapMaterial {
 public:
  using EnvironmentMapProvider = MaterialTexture* (*)(Material* material, ViewPort* viewport);
  static void SetEnvironmentMapProvider(EnvironmentMapProvider provider);

  VandruBumpEnvMaterial(MaterialManager* manager, MaterialChunkCache* chunks, AlphaMaskCache* mask,
                        AlphaBlendCache* blend, const VandruBumpFamilyPlugin::ProgramSet& programs);

  Material* Clone() const override;
  void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                   const DisplayLightList* lights, const Matrix4* matrix, int pass) override;
  void ClearDisplayState(Display* display) override;

  const Matrix4& GetOrientation() const { return orientation_; }

 private:
  static std::atomic<EnvironmentMapProvider> provider_;

  Matrix4 orientation_;
  bool transformSet_ = false;
};

}  // namespace Kiv
