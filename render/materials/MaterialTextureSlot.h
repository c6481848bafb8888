// Kiv::MaterialTextureSlot: a texture slot a material keeps beside the
// engine's (the bump map at 8, the gloss or environment map at 9, the
// second texture of the multi-texture material at 12), with the rules they
// share:
// - Set: 3 for a null texture (the slot keeps its texture); else the slot
//   takes it (a reference added, the old one released), the texture gets
//   the material's resource priority, the material's texture definition of
//   the slot records its name and `amount`, and the answer is 0.
// - SetByName: the material manager's texture of that name; 3 when there
//   is none (or no manager), the slot unchanged; else as Set, and the
//   material's alpha hint is reset to -1.
// - Duplicate: 3 for an empty slot; else the slot takes the texture's own
//   copy, 0.
// - Bind: binds the texture to a display unit, or leaves the unit empty;
//   Restore puts back what the unit held before Bind.
// Rendering thread only.
#pragma once

#include <cstdint>

#include "kiv/display/Display.h"
#include "kiv/display/Material.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/display/MaterialTexture.h"

namespace Kiv {

class MaterialTextureSlot {
 public:
  explicit MaterialTextureSlot(uint32_t index, MaterialTexture* start = nullptr)
      : index_(index), texture_(start) {}

  uint32_t GetIndex() const { return index_; }
  MaterialTexture* Get() const { return texture_.get(); }
  void Reset(MaterialTexture* texture) { texture_.reset(texture); }

  uint32_t Set(Material& owner, MaterialTexture* texture, float amount) {
    if (texture == nullptr) return 3;
    texture_.reset(texture);
    texture->priority = owner.GetResourcePriority();
    owner.SetTextureDefinition(index_, texture->name, amount);
    return 0;
  }
  uint32_t SetByName(Material& owner, MaterialManager* manager, const ResourceDatabase* database,
                     const PString& name, float amount) {
    MaterialTexture* texture = manager != nullptr ? manager->GetTexture(database, name) : nullptr;
    if (texture == nullptr) return 3;
    Set(owner, texture, amount);
    owner.SetTextureDefinition(index_, name, amount);
    owner.SetAlphaHint(-1);
    return 0;
  }
  uint32_t Duplicate() {
    if (!texture_) return 3;
    Ref<MaterialTexture> copy(texture_->Duplicate());
    if (!copy) return 3;
    texture_ = copy;
    return 0;
  }
  // Whether the slot holds a loaded texture.
  bool IsReady() const { return texture_ && texture_->IsLoaded(); }

  void Bind(Display* display, uint32_t unit) {
    saved_ = display->GetTexture(unit);
    if (texture_) {
      display->SetTexture(unit, texture_.get(), texture_->name);
      return;
    }
    display->SetEmptyTexture(unit);
  }
  void Restore(Display* display, uint32_t unit) const { RestoreUnit(display, unit, saved_); }

  static void RestoreUnit(Display* display, uint32_t unit, const void* saved) {
    if (display->GetTexture(unit) == saved) return;
    if (saved == nullptr) {
      display->SetEmptyTexture(unit);
      return;
    }
    display->SetTexture(unit, saved, PString("(restored)"));
  }

 private:
  uint32_t index_;
  Ref<MaterialTexture> texture_;
  const void* saved_ = nullptr;
};

}  // namespace Kiv
