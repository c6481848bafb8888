// Kiv::VandruMultiPFXMaterial ("tmpfx"): the base texture in stage 0 and a
// second texture (slot 12, bound to unit 1; empty when new) in stage 1,
// both read with the chunk's one texture coordinate and combined by the
// two texture-stage states of its plug-in (belonging to the plug-in),
// which SetDisplayState applies only when both exist. The stage-1 texture
// transform is the material's matrix (the identity when new) while it
// draws. Slot 12 follows render/materials/MaterialTextureSlot.h; IsLoaded
// is 4 while it is empty or unloaded. Activate and SetResourcePriority
// reach the second texture too.
//
// Chunks are PCT chunks with a separate normal array (unshared; dynamic
// for vertex mode 1; dynamic indices for index mode 1) with the material's
// vertex type: id 99, one stream holding items 1, 2 and 15, item 16
// reading item 15's data, made on the first chunk and registered with the
// display of the manager's kernel. Draws, Bind and Unbind are the
// ground-base and one-texture materials'. Clone copies slot 12 and the
// matrix; Equals needs the same class and second texture and the
// one-texture material's equality. Rendering thread only.
#pragma once

#include "kiv/display/OneTextureMaterial.h"
#include "kiv/display/VertexType.h"
#include "render/materials/MaterialTextureSlot.h"

namespace Kiv {

class VandruMultiPFXMaterial : public OneTextureMaterial {
 public:
  static constexpr uint32_t kSecondSlot = 12;
  static constexpr uint32_t kVertexTypeId = 99;

  VandruMultiPFXMaterial(MaterialManager* manager, MaterialChunkCache* chunks, AlphaMaskCache* mask,
                         AlphaBlendCache* blend, uint32_t stage0, uint32_t stage1);

  Material* Clone() const override;
  bool Equals(const Material& other) const override;
  void SetResourcePriority(float priority) override;
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
  void Bind(Display* display, ViewPort* viewport, int pass) override;
  void Unbind(Display* display, ViewPort* viewport, int pass) override;
  void SetDisplayState(Display* display) override;
  void ClearDisplayState(Display* display) override;

  const Matrix4& GetStage1Transform() const { return transform_; }
  void SetStage1Transform(const Matrix4& matrix) { transform_ = matrix; }
  VertexType* GetVertexType() const { return vertexType_.get(); }

 private:
  MaterialTextureSlot second_;
  uint32_t stage0_;
  uint32_t stage1_;
  Matrix4 transform_;
  Ref<VertexType> vertexType_;
};

}  // namespace Kiv
