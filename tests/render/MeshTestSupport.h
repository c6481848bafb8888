// Shared set-up of the mesh definition tests: loading indexed, progressive
// and LOD meshes from bytes with a plain material manager, and reading
// skin streams.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kiv/RenderKernel.h"
#include "kiv/ResourceDatabase.h"
#include "kiv/display/Display.h"
#include "kiv/display/Material.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/host/PluginSet.h"
#include "render/meshes/VandruGeometryBaseResource.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"
#include "render/meshes/VandruProgressiveMeshDefinition.h"
#include "render/plugin/KivGetPlugins.h"
#include "tests/support/TempFolder.h"

namespace meshtest {

// The program's plug-in set, loaded as start-up loads it (KivGetPlugins)
// for as long as the object lives, so that files load through the
// registered resource types. Declare it after any kernel whose manager
// takes the plug-ins, so that the set goes first.
struct ProgramPlugins {
  ProgramPlugins()
      : set(Kiv::PluginSet::Load(Kiv::PString(kVandruPluginCategory), &KivGetPlugins)) {}
  ~ProgramPlugins() { Kiv::PluginSet::Unload(Kiv::PString(kVandruPluginCategory)); }
  ProgramPlugins(const ProgramPlugins&) = delete;
  ProgramPlugins& operator=(const ProgramPlugins&) = delete;

  Kiv::PluginSet* set;
};

// A display that answers the hardware-skinning question as asked.
inline Kiv::Display& DisplayWith(bool hardware) {
  static Kiv::Display yes, no;
  yes.SetCapability(VandruIndexedMeshDefinition::kHardwareSkinningCapability, true);
  return hardware ? yes : no;
}

// A manager that fails with a given code (for every kind, or only for
// `failingKind` when that is set), or makes materials whose chunks have no
// vertices (so the reader finds no position stream).
class FailingManager : public Kiv::MaterialManager {
 public:
  uint32_t failure = 0;
  Kiv::PString failingKind;
  bool emptyChunks = false;

  class EmptyMaterial : public Kiv::Material {
   public:
    using Material::Material;
    Kiv::GeometryChunk* CreateGeometryChunk(uint32_t, uint32_t faces, uint32_t indices,
                                            uint32_t normals, uint32_t kind,
                                            const Kiv::StandardChunkHint& hint) override {
      return Kiv::GeometryChunk::Create(0, faces, indices, normals, kind, hint);
    }
  };

  Kiv::Material* GetMaterial(const Kiv::PString& decorated, uint32_t* code) override {
    const bool fails = failingKind.Empty() ||
                       SplitDecoratedMaterialName(decorated, nullptr, nullptr) == failingKind;
    if (failure != 0 && fails) {
      if (code != nullptr) *code = failure;
      return nullptr;
    }
    if (emptyChunks) return new EmptyMaterial(decorated);
    return MaterialManager::GetMaterial(decorated, code);
  }
};

inline Kiv::MaterialManager& Manager() {
  static Kiv::MaterialManager manager;
  return manager;
}

template <class Mesh>
struct Loaded {
  uint32_t result = 0;
  std::unique_ptr<Mesh> mesh = std::make_unique<Mesh>();
};

inline Loaded<VandruIndexedMeshDefinition> LoadIndexed(const std::vector<uint8_t>& bytes,
                                                       bool hardware = false,
                                                       bool floatWeights = false) {
  Loaded<VandruIndexedMeshDefinition> loaded;
  loaded.mesh->settings.hardwareAnimationFloatPrecision = {1, floatWeights};
  loaded.mesh->GetMemoryFile().Assign(bytes.data(), bytes.size());
  loaded.result = loaded.mesh->Load(&DisplayWith(hardware), &Manager(), nullptr, 0, 0xFFFFFFFF);
  return loaded;
}

inline Loaded<VandruProgressiveMeshDefinition> LoadProgressive(const std::vector<uint8_t>& bytes) {
  Loaded<VandruProgressiveMeshDefinition> loaded;
  loaded.mesh->GetMemoryFile().Assign(bytes.data(), bytes.size());
  loaded.result = loaded.mesh->LoadFromMemory(&DisplayWith(false), &Manager(), nullptr, 0xFFFFFFFF);
  return loaded;
}

inline Loaded<VandruIndexedMeshLODDefinition> LoadLod(const std::vector<uint8_t>& bytes,
                                                      bool hardware = false) {
  Loaded<VandruIndexedMeshLODDefinition> loaded;
  loaded.mesh->GetMemoryFile().Assign(bytes.data(), bytes.size());
  loaded.result = loaded.mesh->LoadFromMemory(&DisplayWith(hardware), &Manager());
  return loaded;
}

inline std::vector<uint8_t> SaveLod(const VandruIndexedMeshLODDefinition& mesh) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(mesh.Save(&bytes), kMeshOk);
  return bytes;
}

// The bone tree as text: name(child,child).
inline std::string Tree(const Kiv::ParticleBone* bone) {
  if (bone == nullptr) return "-";
  std::string text = bone->name.Str() + "(";
  for (size_t i = 0; i < bone->Children().size(); ++i)
    text += (i ? "," : "") + Tree(bone->Children()[i].get());
  return text + ")";
}

// Mesh files in a scratch folder, read through a resource database with the
// program's plug-ins.
class MeshFolderTest : public ::testing::Test {
 protected:
  // The resource of `name` (null when the database finds none), given
  // `kernel`.
  Kiv::Ref<VandruGeometryBaseResource> Get(const std::string& name, Kiv::RenderKernel* kernel) {
    Kiv::Ref<Kiv::Resource> resource(database_.Get(Kiv::PString(folder_.At(name)), 2));
    if (resource) resource->ReleaseReference();  // Get handed out one.
    auto* mesh = dynamic_cast<VandruGeometryBaseResource*>(resource.get());
    if (mesh != nullptr) mesh->SetRenderKernel(kernel);
    return Kiv::Ref<VandruGeometryBaseResource>(mesh);
  }

  Kiv::ResourceDatabase database_{Kiv::PString()};
  Kiv::RenderKernel kernel_{nullptr, 8.0f};
  ProgramPlugins plugins_;
  VUTest::TempFolder folder_{"Mesh"};
};

}  // namespace meshtest
