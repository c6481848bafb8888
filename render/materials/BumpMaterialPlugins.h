// The plug-ins of the bump family: "tbumpgloss", "tbumptex", "tbumpenv".
//
// Supported on a display that answers capabilities 21 and 17; otherwise the
// fallback is "tglossrust" (gloss), the undecorated one-texture type
// (bump) or "tonetexnoalpha" (env).
//
// What all materials of a plug-in share, made by AcquireSharedResources on
// first use and kept until the plug-in dies:
// - the kernel's alpha-blend, alpha-mask and material-chunk caches, found
//   by their engine ids or made and registered (one reference each);
// - the programs: the plug-in's texts registered by name (BuildPrograms,
//   a later registration replaces the text), then created in a fixed order
//   from the display's program managers (CreatePrograms). The bump and
//   rust sets draw spot lights with their parallel-light pixel program.
// A program that cannot be made releases every program the plug-in holds,
// so that the next attempt starts over; the caches stay.
//
// CreateInstance acquires the shared resources (null when a step fails)
// and makes the plug-in's material with them: VandruBumpGlossMaterial,
// VandruBumpMaterial or VandruBumpEnvMaterial.
//
// The destructor releases the alpha-blend, material-chunk and alpha-mask
// caches, then the programs. Programs refer to the display that made them,
// which must outlive the plug-in. Rendering thread only.
#pragma once

#include "kiv/display/MaterialPlugin.h"
#include "kiv/display/Programs.h"

namespace Kiv {

class VandruBumpFamilyPlugin : public MaterialPlugin {
 public:
  // The programs of one light set, in field order.
  struct ProgramSet {
    Ref<VertexProgram> parallelVertex;
    Ref<TextureCombiner> parallelPixel;
    Ref<VertexProgram> spotVertex;
    Ref<TextureCombiner> spotPixel;
  };
  // Their names, in the same order.
  struct ProgramNames {
    const char* parallelVertex;
    const char* parallelPixel;
    const char* spotVertex;
    const char* spotPixel;
  };

  ~VandruBumpFamilyPlugin() override;

  bool IsSupported(Display* display, PString& fallback) override;
  Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;

  // Steps before a material can be made: caches, then programs.
  bool AcquireSharedResources(RenderKernel* kernel);
  bool AcquireRenderingCaches(RenderKernel* kernel);
  void BuildPrograms();
  bool CreatePrograms(RenderKernel* kernel);
  void ReleasePrograms();

  AlphaBlendCache* GetAlphaBlendCache() const { return alphaBlend_; }
  AlphaMaskCache* GetAlphaMaskCache() const { return alphaMask_; }
  MaterialChunkCache* GetMaterialChunkCache() const { return materialChunks_; }
  const ProgramSet& GetPrograms() const { return programs_; }
  // The rust set (BumpGloss only; empty for the others).
  const ProgramSet& GetRustPrograms() const { return rustPrograms_; }

 protected:
  VandruBumpFamilyPlugin(const char* typeName, const char* uid, const char* fallback,
                         const ProgramNames& names, const ProgramNames* rustNames,
                         std::initializer_list<const char*> pixelTexts);
  // The plug-in's material, made with the shared resources.
  virtual Material* NewMaterial(MaterialManager* manager) = 0;

 private:
  bool CreateSet(RenderKernel* kernel, Display& display, const ProgramNames& names,
                 ProgramSet& set);

  const char* fallback_;
  ProgramNames names_;
  const ProgramNames* rustNames_;
  const char* pixelTexts_[3] = {};
  AlphaBlendCache* alphaBlend_ = nullptr;
  AlphaMaskCache* alphaMask_ = nullptr;
  MaterialChunkCache* materialChunks_ = nullptr;
  ProgramSet programs_;
  ProgramSet rustPrograms_;
};

class VandruBumpGlossMaterialPlugin : public VandruBumpFamilyPlugin {
 public:
  VandruBumpGlossMaterialPlugin();

 protected:
  Material* NewMaterial(MaterialManager* manager) override;
};

class VandruBumpMaterialPlugin : public VandruBumpFamilyPlugin {
 public:
  VandruBumpMaterialPlugin();

 protected:
  Material* NewMaterial(MaterialManager* manager) override;
};

class VandruBumpEnvMaterialPlugin : public VandruBumpFamilyPlugin {
 public:
  VandruBumpEnvMaterialPlugin();

 protected:
  Material* NewMaterial(MaterialManager* manager) override;
};

}  // namespace Kiv
