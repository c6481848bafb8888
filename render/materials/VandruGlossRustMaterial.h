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
// RenderPrimitives does the same over a range of indices. RenderNumChunks
// sets the display state once, draws in gloss mode every chunk whose k is
// above 1/255, then in rust mode every chunk whose r is at least 0.5; a
// chunk with neither is not drawn. The display state after a draw is what
// it was before (the world transform excepted).
//
// Clone copies the reflection texture, gloss amount and settings; Equals
// needs the same class, reflection texture and amount and the one-texture
// material's equality. Rendering thread only.
#pragma once

#include "kiv/display/ReflectiveMaterial.h"

namespace Kiv {

class VandruGlossRustMaterial : public ReflectiveMaterial {
 public:
  static constexpr const char* kRustAge = "RustAge";

  VandruGlossRustMaterial(MaterialManager* manager, MaterialChunkCache* chunks,
                          AlphaBlendCache* blend, uint32_t stateCount,
                          const std::array<uint32_t, 4>& states);

  Material* Clone() const override;
  bool Equals(const Material& other) const override;
  // The engine's chunk, with "RustAge" = 0.
  GeometryChunk* CreateGeometryChunk(uint32_t vertices, uint32_t faces, uint32_t indices,
                                     uint32_t faceNormals, uint32_t kind,
                                     const StandardChunkHint& hint) override;
  void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                   const DisplayLightList* lights, const Matrix4* matrix, int pass) override;
  void RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                        const DisplayLightList* lights, const Matrix4* matrix, uint32_t first,
                        const uint16_t* indices, uint32_t count, uint32_t primitive,
                        int pass) override;
  void RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk** chunks,
                       const DisplayLightList** lights, const Matrix4** matrices, uint32_t count,
                       int pass) override;
  void ClearDisplayState(Display* display) override;

 private:
  struct Range {
    bool all = true;
    uint32_t first = 0;
    const uint16_t* indices = nullptr;
    uint32_t count = 0;
    uint32_t primitive = 0;
  };

  void Render(Display* display, ViewPort* viewport, GeometryChunk* chunk,
              const DisplayLightList* lights, const Matrix4* matrix, const Range& range);
  void SetState(Display* display);
  void PrepareChunk(Display* display, const DisplayLightList* lights, const Matrix4* matrix);
  void RustMode(Display* display, GeometryChunk* chunk, const DisplayLightList* lights,
                const Color& ambient, float rustAge, const Range& range);
  void GlossMode(Display* display, ViewPort* viewport, GeometryChunk* chunk, const Matrix4* matrix,
                 float k, const Range& range);
  static void Draw(Display* display, ViewPort* viewport, GeometryChunk* chunk, const Range& range);
  void SetSpecularColor(const Color& colour);

  const void* savedUnit1_ = nullptr;
};

}  // namespace Kiv
