// Material plug-ins: the factories the engine keeps by material type name.
//
// Kiv::MaterialPlugin has the type name and UId it was made with; the
// engine asks IsSupported (true, or false with the type name of the
// material to use instead in `fallback`) and CreateInstance (a new
// material, or null; the base makes none). Plug-ins are counted (Kiv::ReferenceCount).
// A plug-in made while a plug-in set loads joins that set
// (kiv/host/PluginSet.h), which then holds a reference to it.
//
// Kiv::OneTextureMaterialPlugin is the engine's plug-in of one-texture
// materials: IsSupported answers true on every display (the one-texture
// material, type UNDECORATED_TYPE, is what other materials fall back to);
// CreatePluginResources finds or makes the alpha-blend and material-chunk
// caches in the kernel's cache manager (false without a kernel). Its
// texture-stage state handle is 0: the null engine makes none of its own.
// Rendering thread only.
#pragma once

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/display/RenderingCache.h"
#include "kiv/host/PluginSet.h"

namespace Kiv {

class Display;
class Material;
class MaterialManager;
class RenderKernel;

class MaterialPlugin : public ReferenceCount {
 public:
  MaterialPlugin(const PString& typeName, const PString& uid) : typeName_(typeName), uid_(uid) {
    PluginSet::Join(this);
  }

  const PString& GetTypeName() const { return typeName_; }
  const PString& GetUId() const { return uid_; }

  virtual bool IsSupported(Display* display, PString& fallback) = 0;
  virtual Material* CreateInstance(MaterialManager* /*manager*/, RenderKernel* /*kernel*/) {
    return nullptr;
  }

 private:
  PString typeName_;
  PString uid_;
};

// Finds the cache of `id` in the kernel's manager, or makes one with `make`
// and registers it; answers it with one reference for the caller.
template <class Cache>
Cache* AcquireRenderingCache(RenderingCacheManager& manager, const char* id) {
  if (auto* found = dynamic_cast<Cache*>(manager.FindCache(PString(id)))) {
    found->AddReference();
    return found;
  }
  auto* made = new Cache;
  made->AddReference();
  manager.AddCache(made);
  return made;
}

class OneTextureMaterialPlugin : public MaterialPlugin {
 public:
  static constexpr const char* UNDECORATED_TYPE = "onetex";

  using MaterialPlugin::MaterialPlugin;
  ~OneTextureMaterialPlugin() override;

  bool IsSupported(Display* display, PString& fallback) override;
  virtual bool CreatePluginResources(RenderKernel* kernel);

  AlphaBlendCache* GetAlphaBlendCache() const { return alphaBlend_; }
  MaterialChunkCache* GetMaterialChunkCache() const { return materialChunks_; }
  uint32_t GetStageState() const { return 0; }

 private:
  AlphaBlendCache* alphaBlend_ = nullptr;
  MaterialChunkCache* materialChunks_ = nullptr;
};

}  // namespace Kiv
