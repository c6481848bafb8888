// Kiv::VandruBumpMaterial ("tbumptex"): a base texture and a normal map
// (texture slot 8, bound to unit 1) lit per pixel by the bump programs, in
// two passes: the ambient light and the brightest parallel light, then,
// when the light list holds a spot light, an additive pass (blend (4, 1),
// fog off, both put back afterwards) for the brightest spot light. The
// constants of each pass are those of render/materials/BumpLighting.h, set
// on the pass's vertex program (locals 5, 6, 7, 13) and pixel program
// (registers 0, 1 and the specular register) before the pass draws.
//
// The material holds one reference to each program of its plug-in's set
// and to each cache; a pass whose programs are missing is not drawn.
// Nothing is drawn without a display, viewport or chunk. The display state
// after a draw is what it was before (the world transform excepted).
// RenderNumChunks draws the parallel pass of every chunk, then the spot
// pass of every chunk whose own light list holds a spot light, between one
// SetDisplayState and one ClearDisplayState.
//
// Texture slot 8 starts as the material manager's shared texture 0 (empty
// without a manager) and follows render/materials/MaterialTextureSlot.h;
// IsLoaded is 4 while it is empty or not loaded. Clone makes a material of
// the same type through the manager and copies the settings, the base
// texture and slot 8 (null when the manager makes something else, e.g. a
// fallback). Equals needs the same class, the same slot-8 texture and the
// one-texture material's equality.
//
// Chunks are single-stream PNTA chunks (CreateGeometryChunk): a hint whose
// sharing options are present asks through bit 1 of its options for
// unshared vertices; dynamic vertex mode 1 or unsharing makes the vertices
// dynamic, unsharing makes them unshared, index mode 1 makes the indices
// dynamic. Rendering thread only.
#pragma once

#include "kiv/display/OneTextureMaterial.h"
#include "render/materials/BumpMaterialPlugins.h"
#include "render/materials/MaterialTextureSlot.h"

namespace Kiv {

class VandruBumpMaterial : public OneTextureMaterial {
 public:
  static constexpr uint32_t kBumpSlot = 8;

  VandruBumpMaterial(MaterialManager* manager, MaterialChunkCache* chunks, AlphaMaskCache* mask,
                     AlphaBlendCache* blend, const VandruBumpFamilyPlugin::ProgramSet& programs);

  Material* Clone() const override;
  bool Equals(const Material& other) const override;
  void Activate(int level) override;
  GeometryChunk* CreateGeometryChunk(uint32_t vertices, uint32_t faces, uint32_t indices,
                                     uint32_t faceNormals, uint32_t kind,
                                     const StandardChunkHint& hint) override;
  MaterialTexture* GetTexture(uint32_t slot) const override;
  uint32_t SetTexture(uint32_t slot, MaterialTexture* texture, float amount) override;
  uint32_t SetTexture(uint32_t slot, const ResourceDatabase* database, const PString& name,
                      float amount) override;
  uint32_t DuplicateTexture(uint32_t slot) override;
  uint32_t IsLoaded() const override;

  void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                   const DisplayLightList* lights, const Matrix4* matrix, int pass) override;
  void RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                        const DisplayLightList* lights, const Matrix4* matrix, uint32_t first,
                        const uint16_t* indices, uint32_t count, uint32_t primitive,
                        int pass) override;
  void RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk** chunks,
                       const DisplayLightList** lights, const Matrix4** matrices, uint32_t count,
                       int pass) override;

  void SetDisplayState(Display* display) override;
  void ClearDisplayState(Display* display) override;

  MaterialTexture* GetBumpTexture() const { return bump_.Get(); }
  void SetBumpTexture(MaterialTexture* texture) { bump_.Reset(texture); }
  const VandruBumpFamilyPlugin::ProgramSet& GetPrograms() const { return programs_; }

 protected:
  // Which indices a pass draws: all, or a range.
  struct Range {
    bool all = true;
    uint32_t first = 0;
    const uint16_t* indices = nullptr;
    uint32_t count = 0;
    uint32_t primitive = 0;
  };
  // What a subclass changes in the passes: the register of the specular
  // colour, the spot pass's source blend factor and, when `lerp` is set,
  // pixel register 2 = (k, k, k, k) before each pass.
  struct PassOptions {
    uint32_t specularRegister = 2;
    uint32_t spotSource = 4;
    bool lerp = false;
    float k = 0.0f;
  };

  VandruBumpMaterial(const PString& kind, MaterialManager* manager, MaterialChunkCache* chunks,
                     AlphaMaskCache* mask, AlphaBlendCache* blend,
                     const VandruBumpFamilyPlugin::ProgramSet& programs);

  // Both passes between SetDisplayState and ClearDisplayState.
  void Render(Display* display, ViewPort* viewport, GeometryChunk* chunk,
              const DisplayLightList* lights, const Matrix4* matrix, const Range& range);
  // The passes alone.
  void DrawPasses(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                  const DisplayLightList* lights, const Matrix4* matrix, const Range& range,
                  const PassOptions& options);
  void ParallelPass(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                    const DisplayLightList* lights, const Matrix4& object, const Range& range,
                    const PassOptions& options);
  void SpotPass(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                const DisplayLight& light, const Matrix4& object, const Range& range,
                const PassOptions& options);
  // Copies slot 8 into `copy` (a clone of this material).
  void CopyBumpSlot(VandruBumpMaterial& copy) const { copy.bump_.Reset(bump_.Get()); }
  bool SameBumpSlot(const VandruBumpMaterial& other) const {
    return other.bump_.Get() == bump_.Get();
  }
  void ClearBumpState(Display* display);

 private:
  static void Draw(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                   const VertexProgram* program, const Range& range);

  VandruBumpFamilyPlugin::ProgramSet programs_;
  MaterialTextureSlot bump_;
};

}  // namespace Kiv
