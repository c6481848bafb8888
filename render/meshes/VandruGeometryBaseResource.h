// VandruGeometryBaseResource: the base of the mesh resources ("im", "pm",
// "lm" and "lm.txt"), which load one mesh definition when the resource
// system loads them (kiv/store/Resource.h: Lock).
//
// The render kernel supplies the material manager and the display the
// definitions load with. A new resource takes the run's kernel
// (Kiv::GetRenderKernel) when there is one; SetRenderKernel replaces it
// before the first Lock. Without a kernel nothing loads (result 1); a
// kernel without a material manager fails with kMeshNoMaterialManager.
//
// Loading: a load frees the name list, makes a new definition with the
// definition settings (an unset DynamicIndex setting becomes set, 1) and
// reads the file. Every failure discards the definition, leaves
// GetLoadResult with the loader's code (MeshResult.h) and answers resource
// result 1; success answers 0. LoadComplete then hands the materials their
// textures and prepares every chunk for the kernel's display; a chunk that
// refuses is logged and does not fail the load.
//
// LoadAll and IsAllLoaded need a loaded definition (else false and 1),
// then ask the material texture checks of every material list
// (MaterialTextureChecks.h); a LOD mesh without levels counts as loaded.
// CalculateSize is the resource object's size, CalculateDataSize the
// definition's estimate (0 without one). CreateMeshInstance makes the
// instance that fits the definition (the derived resources say which); the
// instance holds a reference to the resource and one lock on it.
//
// Threads: loads run under the resource's lock (Lock); the rest is for the
// thread that owns the resource.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/display/Material.h"
#include "kiv/store/Resource.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

class VandruIndexedMeshInstance;

namespace Kiv {
class Display;
class MaterialManager;
class RenderKernel;
}  // namespace Kiv

class VandruGeometryBaseResource : public Kiv::Resource {
 public:
  // Colour of vertices whose mesh file has none.
  static constexpr uint32_t kDefaultColour = 0xFFFFFFFF;

  VandruGeometryBaseResource(const Kiv::PString& name, Kiv::ResourceDatabase* database);
  ~VandruGeometryBaseResource() override;

  void SetRenderKernel(Kiv::RenderKernel* kernel) { kernel_ = kernel; }
  Kiv::RenderKernel* GetRenderKernel() const { return kernel_; }
  MeshSettings definitionSettings;
  MeshSettings SettingsForDefinition() const;

  std::vector<Kiv::PString>& GetNames() { return names_; }
  virtual void ReleaseNames() { names_.clear(); }
  VandruIndexedMeshDefinition* GetDefinition() const { return definition_.get(); }
  // The loader's code of the last load (kMeshOk before any).
  uint32_t GetLoadResult() const { return loadResult_; }

  // A new instance of the loaded mesh, owned by the caller; null without a
  // kernel or a definition, or when the mesh cannot be instanced.
  virtual VandruIndexedMeshInstance* CreateMeshInstance() { return nullptr; }
  virtual bool LoadAll();
  virtual uint32_t IsAllLoaded();
  virtual uint64_t CalculateSize() const = 0;
  virtual uint64_t CalculateDataSize() const;

 protected:
  uint32_t LoadComplete() override;
  // The kernel's, null without a kernel.
  Kiv::Display* GetDisplay() const;
  Kiv::MaterialManager* GetMaterialManager() const;
  // Starts a load: frees the names; false without a kernel.
  bool BeginLoad();
  // Keeps `definition` on kMeshOk, else discards it; the resource result.
  uint32_t EndLoad(std::unique_ptr<VandruIndexedMeshDefinition> definition, uint32_t code);
  // Hands the materials their textures and prepares the chunks.
  virtual uint32_t FinishDefinition();
  // Every material list of the definition, in order.
  virtual std::vector<std::vector<Kiv::Ref<Kiv::Material>>> MaterialLists() const;

  std::unique_ptr<VandruIndexedMeshDefinition> definition_;

 private:
  Kiv::RenderKernel* kernel_;
  std::vector<Kiv::PString> names_;
  uint32_t loadResult_ = kMeshOk;
};
