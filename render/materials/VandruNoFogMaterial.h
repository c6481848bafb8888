// Kiv::VandruNoFogMaterial ("nofogtex"): a one-texture material drawn
// without fog, with its own culling and blend function.
//
// SetDisplayState saves the fog mode and turns fog off; culls nothing
// (mode 0) for a two-sided material (flag bit 0), else mode 1; binds the
// base texture to unit 0; unless flag bit 1 is set, saves the blend mode
// and factors and blends with the material's own factors (source 4,
// destination 5 unless set); applies the texture-stage state its plug-in
// handed over (0: none). ClearDisplayState puts the fog mode back, sets
// cull mode 1, puts the blend mode and factors back (unless bit 1) and
// resets stage 0 when a stage state is held; the base texture unit is put
// back as the one-texture material does. Clone copies the base texture and
// the settings; equality is the one-texture material's. Rendering thread
// only.
#pragma once

#include "kiv/display/OneTextureMaterial.h"

namespace Kiv {

class VandruNoFogMaterial : public OneTextureMaterial {
 public:
  static constexpr uint32_t kKeepBlending = 2;

  VandruNoFogMaterial(MaterialManager* manager, MaterialChunkCache* chunks, AlphaMaskCache* mask,
                      AlphaBlendCache* blend);

  Material* Clone() const override;
  void SetDisplayState(Display* display) override;
  void ClearDisplayState(Display* display) override;

  void SetStageState(uint32_t state) { stageState_ = state; }
  uint32_t GetStageState() const { return stageState_; }
  void SetBlendFactors(uint32_t source, uint32_t destination) {
    blendSource_ = source;
    blendDestination_ = destination;
  }

 private:
  uint32_t stageState_ = 0;
  uint32_t blendSource_ = 4;
  uint32_t blendDestination_ = 5;
  uint32_t savedFog_ = 0;
  uint32_t savedBlendMode_ = 0;
  uint32_t savedSource_ = 1;
  uint32_t savedDestination_ = 0;
};

}  // namespace Kiv
