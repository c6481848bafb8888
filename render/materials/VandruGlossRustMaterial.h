// Kiv::VandruGlossRustMaterial ("tglossrust"): a reflective material that
// turns to rust as a chunk's "RustAge" (r, 0 when the chunk has none)
// grows. Nothing is drawn without a reflection texture, display or chunk.
//
// A draw sets the ambient colour to white and, for r above 0.5, scales the
// specular colour by 1 - (r - 0.5), both put back afterwards. With
// k = gloss amount x (1 - 2 r):
// - rust mode (k at most 1/255): the third and fourth stage states, stage
//   constants of stages 0 and 1 = the material's ambient x clamp(global
//   ambient + every light's ambient) with alpha max(2 (r - 0.5), 0), one
//   draw;
// - gloss mode: coordinate generation for the reflection, the first and
//   second stage states, stage constants (k, k, k, k), cube coordinates
//   through the camera's view rotation or sphere coordinates, one draw,
//   generation switched off and the stage-1 texture transform reset.
// The display state after a draw is what it was before (the world
// transform excepted). Not yet here: the list and range draws, Clone and
// Equals. Rendering thread only.
#pragma once

#include "kiv/display/ReflectiveMaterial.h"

namespace Kiv {

class VandruGlossRustMaterial : public ReflectiveMaterial {
 public:
  static constexpr const char* kRustAge = "RustAge";

  VandruGlossRustMaterial(MaterialManager* manager, MaterialChunkCache* chunks,
                          AlphaBlendCache* blend, uint32_t stateCount,
                          const std::array<uint32_t, 4>& states);

  // The engine's chunk, with "RustAge" = 0.
  GeometryChunk* CreateGeometryChunk(uint32_t vertices, uint32_t faces, uint32_t indices,
                                     uint32_t faceNormals, uint32_t kind,
                                     const StandardChunkHint& hint) override;
  void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                   const DisplayLightList* lights, const Matrix4* matrix, int pass) override;
  void ClearDisplayState(Display* display) override;

 private:
  void RustMode(Display* display, GeometryChunk* chunk, const DisplayLightList* lights,
                const Color& ambient, float rustAge);
  void GlossMode(Display* display, ViewPort* viewport, GeometryChunk* chunk, const Matrix4* matrix,
                 float k);
  void SetSpecularColor(const Color& colour);

  const void* savedUnit1_ = nullptr;
};

}  // namespace Kiv
