// Kiv::VandruBumpGlossMaterial ("tbumpgloss"): the bump material with a
// gloss map (slot 9, bound to texture unit 3) blended in by the gloss
// amount, drawn with the gloss programs of its plug-in; it also holds the
// plug-in's rust programs, which are not used for drawing.
//
// RenderChunk sets the ambient colour to white for the draw (put back
// afterwards) and reads the chunk's "RustAge" r (0 when absent). With
// k = gloss amount x (1 - 2 r) above 1/255 it sets pixel register 2 (Lerp)
// to (k, k, k, k) and draws the bump material's passes with the specular
// colour in register 3 and the spot pass blended (1, 1); otherwise it
// draws nothing (a worn or dull chunk is left undrawn). Its chunks carry
// "RustAge" = 0. Activate activates the gloss map first. Rendering thread
// only.
#pragma once

#include "render/materials/VandruBumpExtraMapMaterial.h"

namespace Kiv {

class VandruBumpGlossMaterial : public VandruBumpExtraMapMaterial {
 public:
  static constexpr const char* kRustAge = "RustAge";

  VandruBumpGlossMaterial(MaterialManager* manager, MaterialChunkCache* chunks,
                          AlphaMaskCache* mask, AlphaBlendCache* blend,
                          const VandruBumpFamilyPlugin::ProgramSet& programs,
                          const VandruBumpFamilyPlugin::ProgramSet& rustPrograms);

  Material* Clone() const override;
  void Activate(int level) override;
  GeometryChunk* CreateGeometryChunk(uint32_t vertices, uint32_t faces, uint32_t indices,
                                     uint32_t faceNormals, uint32_t kind,
                                     const StandardChunkHint& hint) override;
  void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                   const DisplayLightList* lights, const Matrix4* matrix, int pass) override;

  const VandruBumpFamilyPlugin::ProgramSet& GetRustPrograms() const { return rustPrograms_; }

 protected:
  void BindUnit3(Display* display) override;

 private:
  VandruBumpFamilyPlugin::ProgramSet rustPrograms_;
  MaterialTextureSlot unit3_{kExtraSlot};
};

}  // namespace Kiv
