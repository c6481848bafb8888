// Kiv::OneTextureMaterial: the engine's material of one base texture, the
// base of the program's own materials.
//
// It holds the material manager that made it and one reference to each of
// the three rendering caches it was given (any may be null), its base
// texture (may be null) and its ambient colour (in the display material).
// SetDisplayState binds the base texture to unit 0 (an empty unit when
// there is none), remembering what unit 0 held; ClearDisplayState puts that
// back. Rendering thread only.
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

 private:
  MaterialManager* manager_;
  Ref<MaterialChunkCache> chunks_;
  Ref<AlphaMaskCache> mask_;
  Ref<AlphaBlendCache> blend_;
  Ref<MaterialTexture> base_;
  const void* savedUnit0_ = nullptr;
};

}  // namespace Kiv
