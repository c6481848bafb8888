// Shared set-up of the material tests: a render kernel whose display
// offers chosen capabilities, a material manager holding the program's
// seven plug-ins, and meshes of cube chunks naming material kinds.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "MeshFixtureWriter.h"
#include "kiv/RenderKernel.h"
#include "kiv/display/MaterialManager.h"
#include "render/materials/BumpMaterialPlugins.h"
#include "render/materials/OneTextureMaterialPlugins.h"
#include "render/materials/VandruBumpExtraMapMaterial.h"
#include "render/materials/VandruMultiPFXMaterialPlugin.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

namespace materialtest {

// Compares a display record with a golden file of tests/render/data, one
// recorded line per line. Run with VU_UPDATE_GOLDEN=1 to write them anew.
inline void ExpectGolden(const std::vector<std::string>& record, const std::string& name) {
  const std::string path = std::string(VU_RENDER_TEST_DATA) + "/" + name + ".golden";
  if (const char* update = getenv("VU_UPDATE_GOLDEN"); update != nullptr && *update == '1') {
    std::ofstream out(path);
    for (const auto& line : record) out << line << '\n';
  }
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::vector<std::string> golden;
  for (std::string line; std::getline(in, line);) golden.push_back(line);
  EXPECT_EQ(record, golden) << path;
}

// A white parallel and a red spot light.
struct Lights {
  Lights() {
    parallel.type = Kiv::DisplayLight::kParallel;
    parallel.diffuse = {1, 1, 1, 1};
    spot.type = Kiv::DisplayLight::kSpot;
    spot.diffuse = {1, 0, 0, 1};
  }
  Kiv::DisplayLight parallel, spot;
  Kiv::DisplayLightList both{&parallel, &spot};
  Kiv::DisplayLightList parallelOnly{&parallel};
};

// A kernel whose display offers `capabilities` and `stages` texture stages,
// and a material manager with the seven plug-ins.
struct Engine {
  explicit Engine(std::vector<uint32_t> capabilities = {1, 17, 21}, uint32_t stages = 4) {
    for (uint32_t capability : capabilities) display().SetCapability(capability, true);
    display().SetTextureStageCount(stages);
    display().SetCullMode(1);
    manager.SetRenderKernel(&kernel);
    manager.AddPlugin(new Kiv::VandruBumpGlossMaterialPlugin);
    manager.AddPlugin(new Kiv::VandruBumpMaterialPlugin);
    manager.AddPlugin(new Kiv::VandruBumpEnvMaterialPlugin);
    manager.AddPlugin(new Kiv::VandruOneTexNoAlphaMaterialPlugin);
    manager.AddPlugin(new Kiv::VandruGlossRustMaterialPlugin);
    manager.AddPlugin(new Kiv::VandruMultiPFXMaterialPlugin);
    manager.AddPlugin(new Kiv::VandruNoFogMaterialPlugin);
  }
  Kiv::Display& display() { return *kernel.GetDisplay(); }

  // A cube chunk per kind, in the order given.
  std::unique_ptr<VandruIndexedMeshDefinition> Load(const std::vector<std::string>& kinds,
                                                    uint32_t* result) {
    meshfixture::MeshSpec spec;
    spec.chunks.clear();
    for (const std::string& kind : kinds) {
      meshfixture::ChunkSpec chunk;
      chunk.material.kind = kind;
      spec.chunks.push_back(chunk);
    }
    bytes = meshfixture::WriteMesh(spec);
    auto mesh = std::make_unique<VandruIndexedMeshDefinition>();
    mesh->GetMemoryFile().Assign(bytes.data(), bytes.size());
    *result = mesh->Load(&display(), &manager, nullptr, 0, 0xFFFFFFFF);
    return mesh;
  }

  Kiv::RenderKernel kernel{nullptr, 8.0f};
  Kiv::MaterialManager manager;
  std::vector<uint8_t> bytes;

  // A material by type name; null when none is made.
  template <class T = Kiv::Material>
  Kiv::Ref<T> Make(const char* type) {
    Kiv::Material* made = manager.CreateMaterial(Kiv::PString(type), nullptr);
    Kiv::Ref<Kiv::Material> held(made);
    return Kiv::Ref<T>(dynamic_cast<T*>(made));
  }
};

}  // namespace materialtest
