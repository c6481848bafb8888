// Kiv::OneTextureMaterial: the engine's material of one base texture, the
// base of the program's own materials.
//
// It holds the material manager that made it and one reference to each of
// the three rendering caches it was given (any may be null), its base
// texture (may be null) and its ambient colour (in the display material).
// SetDisplayState binds the base texture to unit 0 (an empty unit when
// there is none), remembering what unit 0 held; ClearDisplayState puts that
// back. RenderChunk and RenderPrimitives draw between the two, with the
// lighting state and the chunk's matrix as the world transform (nothing
// without a display or chunk); RenderNumChunks draws each chunk so between
// one SetDisplayState and one ClearDisplayState. Equals adds "the same base texture" to the material's equality;
// Clone makes a material of the same kind through the material manager
// and copies the settings and the base texture into it (null without a
// manager, or when the manager makes a material of another class).
// Rendering thread only.
#pragma once

#include "kiv/display/Material.h"
#include "kiv/display/MaterialTexture.h"
#include "kiv/display/RenderingCache.h"

namespace Kiv {

class MaterialManager;

class OneTextureMaterial : public Material {
 public:
  OneTextureMaterial(const PString& kind, MaterialManager* manager, MaterialChunkCache* chunks,
                     AlphaMaskCache* mask, AlphaBlendCache* blend);

  MaterialManager* GetMaterialManager() const { return manager_; }
  AlphaBlendCache* GetAlphaBlendCache() const { return blend_.get(); }
  AlphaMaskCache* GetAlphaMaskCache() const { return mask_.get(); }
  MaterialChunkCache* GetMaterialChunkCache() const { return chunks_.get(); }

  MaterialTexture* GetBaseTexture() const { return base_.get(); }
  void SetBaseTexture(MaterialTexture* texture) { base_.reset(texture); }
  const Color& GetAmbientColor() const { return GetDisplayMaterial().ambient; }
  void SetAmbientColor(const Color& colour);

  virtual void SetDisplayState(Display* display);
  virtual void ClearDisplayState(Display* display);

  bool Equals(const Material& other) const override;
  Material* Clone() const override;
  void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                   const DisplayLightList* lights, const Matrix4* matrix, int pass) override;
  void RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                        const DisplayLightList* lights, const Matrix4* matrix, uint32_t first,
                        const uint16_t* indices, uint32_t count, uint32_t primitive,
                        int pass) override;
  void RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk** chunks,
                       const DisplayLightList** lights, const Matrix4** matrices, uint32_t count,
                       int pass) override;

 protected:
  // The settings of `from` and its base texture.
  void InitInstance(const OneTextureMaterial& from);
  // A new material of this one's kind from the manager, when it is a `T`
  // (else null, nothing kept), with the settings copied.
  template <class T>
  T* CloneAs() const {
    Material* made = CreateInstance(GetTypeName(), manager_);
    auto* copy = dynamic_cast<T*>(made);
    if (copy == nullptr) {
      ReleaseRef(made);
      return nullptr;
    }
    static_cast<OneTextureMaterial*>(copy)->InitInstance(*this);
    return copy;
  }

 private:
  MaterialManager* manager_;
  Ref<MaterialChunkCache> chunks_;
  Ref<AlphaMaskCache> mask_;
  Ref<AlphaBlendCache> blend_;
  Ref<MaterialTexture> base_;
  const void* savedUnit0_ = nullptr;
};

}  // namespace Kiv
