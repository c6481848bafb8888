// Kiv::MaterialManager: makes materials by their decorated names.
//
// A decorated material name is owner "*" folder "*" kind; Split takes one
// apart (a name without "*" is all kind; with one "*", owner and kind).
// GetMaterial answers a new material of the name's kind, with its request
// name set and no reference taken yet (the caller takes it, e.g. with a
// Kiv::Ref). On failure the answer is null and `*failure` (may be null)
// holds the code: kUnknownKind for an empty kind, kUnsupported for a kind
// that cannot be made.
//
// Material plug-ins (AddPlugin, one reference held until the manager dies)
// are kept by request name, "m." and their type name; a later plug-in of a
// name replaces the earlier one. CreateMaterial makes a material by type
// name: with a plug-in of that name, the plug-in is asked whether the
// render kernel's display supports its material; if not, the type it names
// instead is made in its place, following at most kMaxFallbacks such steps
// (a longer chain, or one back to a type already tried, is kUnsupported).
// The supported plug-in makes the material with this manager and the
// kernel (SetRenderKernel; may be null); a plug-in that makes none is
// kUnsupported. A type without a plug-in is made as a plain material.
//
// Textures by name (GetTexture): one counted texture per name, made on the
// first request (the null engine loads nothing: it is marked loaded); null
// for an empty name or one refused with RefuseTexture. GetSharedTexture(0)
// is the engine's shared placeholder texture "(shared 0)"; other indices
// are null. Rendering thread only.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/display/MaterialTexture.h"

namespace Kiv {

class Material;
class MaterialPlugin;
class RenderKernel;
class ResourceDatabase;

class MaterialManager {
 public:
  static constexpr uint32_t kUnknownKind = 1;
  static constexpr uint32_t kUnsupported = 3;
  static constexpr uint32_t kMaxFallbacks = 8;

  MaterialManager();
  virtual ~MaterialManager();
  MaterialManager(const MaterialManager&) = delete;
  MaterialManager& operator=(const MaterialManager&) = delete;

  static PString SplitDecoratedMaterialName(const PString& decorated, PString* owner,
                                            PString* folder);

  virtual Material* GetMaterial(const PString& decorated, uint32_t* failure);
  Material* CreateMaterial(const PString& typeName, uint32_t* failure);

  // Substitutes: the kind that may be made in place of `kind` when `kind`
  // cannot be made (for owners that allow it). One per kind, a later one
  // replaces the earlier; an empty substitute removes it. GetSubstituteKind
  // answers an empty name for a kind without one.
  void SetSubstituteKind(const PString& kind, const PString& substitute);
  PString GetSubstituteKind(const PString& kind) const;

  void AddPlugin(MaterialPlugin* plugin);
  // Null when no plug-in has that request name.
  MaterialPlugin* FindPlugin(const PString& requestName) const;
  void SetRenderKernel(RenderKernel* kernel) { kernel_ = kernel; }
  RenderKernel* GetRenderKernel() const { return kernel_; }

  MaterialTexture* GetTexture(const ResourceDatabase* database, const PString& name);
  void RefuseTexture(const PString& name) { refused_.insert(name); }
  MaterialTexture* GetSharedTexture(uint32_t index);

 private:
  std::unordered_map<PString, Ref<MaterialPlugin>> plugins_;
  RenderKernel* kernel_ = nullptr;
  std::unordered_map<PString, Ref<MaterialTexture>> textures_;
  std::unordered_set<PString> refused_;
  std::unordered_map<PString, PString> substitutes_;
  Ref<MaterialTexture> shared_;
};

}  // namespace Kiv
