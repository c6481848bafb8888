// Kiv::VandruBumpExtraMapMaterial: what the bump materials with a second
// map at texture slot 9 share (the gloss map of "tbumpgloss", the
// environment map of "tbumpenv"): the slot (starting as the manager's
// shared texture 0, rules of render/materials/MaterialTextureSlot.h, the
// amount given with the texture kept), the amount (0 when new), IsLoaded
// (4 while slot 9 is empty or unloaded, then the bump material's test),
// equality (also the same slot-9 texture and an equal amount), an opaque
// alpha hint (0), texture unit 3 saved in SetDisplayState and put back by
// ClearDisplayState after stage 3 is reset (then the bump material's
// clearing), no range draws (RenderPrimitives draws nothing) and list
// draws one chunk at a time through RenderChunk.
//
// Their chunks are the bump material's, marked unshared (unless their
// flags hold Material::kOwnVertices). Rendering thread only.
#pragma once

#include "render/materials/VandruBumpMaterial.h"

namespace Kiv {

class VandruBumpExtraMapMaterial : public VandruBumpMaterial {
 public:
  static constexpr uint32_t kExtraSlot = 9;

  bool Equals(const Material& other) const override;
  GeometryChunk* CreateGeometryChunk(uint32_t vertices, uint32_t faces, uint32_t indices,
                                     uint32_t faceNormals, uint32_t kind,
                                     const StandardChunkHint& hint) override;
  MaterialTexture* GetTexture(uint32_t slot) const override;
  uint32_t SetTexture(uint32_t slot, MaterialTexture* texture, float amount) override;
  uint32_t SetTexture(uint32_t slot, const ResourceDatabase* database, const PString& name,
                      float amount) override;
  uint32_t DuplicateTexture(uint32_t slot) override;
  uint32_t IsLoaded() const override;
  void CacheAlphaHint() override { SetAlphaHint(0); }

  void RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                        const DisplayLightList* lights, const Matrix4* matrix, uint32_t first,
                        const uint16_t* indices, uint32_t count, uint32_t primitive,
                        int pass) override;
  void RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk** chunks,
                       const DisplayLightList** lights, const Matrix4** matrices, uint32_t count,
                       int pass) override;
  void SetDisplayState(Display* display) override;
  void ClearDisplayState(Display* display) override;

  MaterialTexture* GetExtraTexture() const { return extra_.Get(); }
  float GetAmount() const { return amount_; }
  void SetAmount(float amount) { amount_ = amount; }

 protected:
  VandruBumpExtraMapMaterial(const PString& kind, MaterialManager* manager,
                             MaterialChunkCache* chunks, AlphaMaskCache* mask,
                             AlphaBlendCache* blend,
                             const VandruBumpFamilyPlugin::ProgramSet& programs);

  // What SetDisplayState puts in unit 3 (after saving it): nothing here.
  virtual void BindUnit3(Display* /*display*/) {}
  // Copies slots 8 and 9 and the amount into a clone.
  void CopyMaps(VandruBumpExtraMapMaterial& copy) const;

 private:
  MaterialTextureSlot extra_;
  float amount_ = 0.0f;
  const void* savedUnit3_ = nullptr;
};

}  // namespace Kiv
