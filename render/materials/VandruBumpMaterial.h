// Kiv::VandruBumpMaterial ("tbumptex"): a base texture and a normal map
// (texture unit 1) lit per pixel by the bump programs, in two passes: the
// ambient light and the brightest parallel light, then, when the light list
// holds a spot light, an additive pass (blend (4, 1), fog off, both put
// back afterwards) for the brightest spot light. The constants of each
// pass are those of render/materials/BumpLighting.h, set on the pass's
// vertex program (locals 5, 6, 7, 13) and pixel program (registers 0, 1 and
// the specular register 2) before the pass draws.
//
// The material holds one reference to each program of its plug-in's set
// and to each cache; a pass whose programs are missing is not drawn.
// Nothing is drawn without a display, viewport or chunk. The display state
// after a draw is what it was before (the world transform excepted).
// Not yet here: texture slots 8 and 9, cloning, equality and the gloss and
// env subclasses. Rendering thread only.
#pragma once

#include "kiv/display/OneTextureMaterial.h"
#include "render/materials/BumpMaterialPlugins.h"

namespace Kiv {

class VandruBumpMaterial : public OneTextureMaterial {
 public:
  VandruBumpMaterial(MaterialManager* manager, MaterialChunkCache* chunks, AlphaMaskCache* mask,
                     AlphaBlendCache* blend, const VandruBumpFamilyPlugin::ProgramSet& programs);

  void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                   const DisplayLightList* lights, const Matrix4* matrix, int pass) override;
  void RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                        const DisplayLightList* lights, const Matrix4* matrix, uint32_t first,
                        const uint16_t* indices, uint32_t count, uint32_t primitive,
                        int pass) override;

  void SetDisplayState(Display* display) override;
  void ClearDisplayState(Display* display) override;

  MaterialTexture* GetBumpTexture() const { return bump_.get(); }
  void SetBumpTexture(MaterialTexture* texture) { bump_.reset(texture); }

 private:
  // Which indices a pass draws: all, or a range.
  struct Range {
    bool all = true;
    uint32_t first = 0;
    const uint16_t* indices = nullptr;
    uint32_t count = 0;
    uint32_t primitive = 0;
  };

  void Render(Display* display, ViewPort* viewport, GeometryChunk* chunk,
              const DisplayLightList* lights, const Matrix4* matrix, const Range& range);
  void ParallelPass(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                    const DisplayLightList* lights, const Matrix4& object, const Range& range);
  void SpotPass(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                const DisplayLight& light, const Matrix4& object, const Range& range);
  static void Draw(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                   const VertexProgram* program, const Range& range);

  VandruBumpFamilyPlugin::ProgramSet programs_;
  Ref<MaterialTexture> bump_;
  const void* savedUnit1_ = nullptr;
};

}  // namespace Kiv
