// Kiv::VandruOneTexNoAlphaMaterial ("tonetexnoalpha"): the ground-base
// material lit through the vertex colour (colour-material mode 5 while it
// draws, 0 afterwards), always opaque (alpha hint 0). It keeps the
// texture-stage state its plug-in handed over (0: none; it belongs to the
// plug-in).
//
// Chunks (CreateGeometryChunk): when the hint's sharing options are
// present, option bit 0 asks for the PCT layout with a separate normal
// array, else the chunk is PNT; option bit 1 asks for unshared vertices,
// granted (bit 2) when the display of the manager's kernel answers
// kCapabilityUnsharedVertices. Dynamic vertex mode 1, or mode 2 with an
// unshare request, makes the vertices dynamic; an unshare request or the
// PCT layout makes them unshared; index mode 1 makes the indices dynamic.
// Draws are the one-texture material's. Rendering thread only.
#pragma once

#include "render/materials/VandruGroundBaseMaterial.h"

namespace Kiv {

class VandruOneTexNoAlphaMaterial : public VandruGroundBaseMaterial {
 public:
  static constexpr uint32_t kCapabilityUnsharedVertices = 30;

  VandruOneTexNoAlphaMaterial(MaterialManager* manager, MaterialChunkCache* chunks,
                              AlphaBlendCache* blend, uint32_t stageState);

  Material* Clone() const override;
  GeometryChunk* CreateGeometryChunk(uint32_t vertices, uint32_t faces, uint32_t indices,
                                     uint32_t faceNormals, uint32_t kind,
                                     const StandardChunkHint& hint) override;
  void CacheAlphaHint() override { SetAlphaHint(0); }
  void SetDisplayState(Display* display) override;
  void ClearDisplayState(Display* display) override;

  uint32_t GetStageState() const { return stageState_; }

 private:
  uint32_t stageState_;
};

}  // namespace Kiv
