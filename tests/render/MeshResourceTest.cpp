// The mesh resources, loaded through the resource system from a folder:
// each kind, the result codes of bad files, and the table of their names.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "render/meshes/MeshResult.h"
#include "render/meshes/VandruIndexedMeshLODResource.h"
#include "render/meshes/VandruIndexedMeshResource.h"
#include "render/meshes/VandruProgressiveMeshResource.h"
#include "tests/render/CubeFixture.h"
#include "tests/render/MeshTestSupport.h"
#include "tests/support/CapturedLog.h"

namespace {

using meshfixture::MeshBytes;
using meshfixture::MeshSpec;

MeshSpec With(void (*change)(MeshSpec&)) {
  MeshSpec spec = meshfixture::CubeMesh(false);
  change(spec);
  return spec;
}

class MeshResourceTest : public meshtest::MeshFolderTest {
 protected:
  void SetUp() override {
    folder_.Put("cube.im", MeshBytes(meshfixture::CubeMesh(false)));
    folder_.Put("cube.pm", MeshBytes(With([](MeshSpec& s) { s.pmin = true; })));
    folder_.Put("cube.lm.txt", "version 1.00\nmesh 0 { name cube.im }\nmesh 50 { name cube.im }\n");
    folder_.Put("old.im", MeshBytes(With([](MeshSpec& s) { s.infoVersion = 99; })));
    folder_.Put("nokind.im", MeshBytes(With([](MeshSpec& s) { s.chunks[1].material.kind = ""; })));
    folder_.Put("cut.pm", MeshBytes(With([](MeshSpec& s) { s.pmin = true; })).substr(0, 100));
    folder_.Put("junk.lm", "LODM and nothing else");
    folder_.Put("missing.lm.txt", "version 1.00\nmesh 0 { name gone.im }\n");
  }
};

TEST_F(MeshResourceTest, EachKindLoadsThroughTheResourceSystem) {
  struct Case {
    const char* name;
    uint32_t chunks;
    uint32_t levels;  // Of a LOD mesh.
  };
  const Case cases[] = {{"cube.im", 2, 0}, {"cube.pm", 2, 0}, {"cube.lm.txt", 2, 2}};
  for (const Case& k : cases) {
    Kiv::Ref<VandruGeometryBaseResource> mesh = Get(k.name, &kernel_);
    ASSERT_TRUE(mesh) << k.name;
    ASSERT_EQ(mesh->Lock(), 0u) << k.name;
    ASSERT_NE(mesh->GetDefinition(), nullptr) << k.name;
    EXPECT_EQ(mesh->GetDefinition()->GetNumChunks(), k.chunks) << k.name;
    EXPECT_EQ(mesh->GetDefinition()->settings.dynamicIndex.IsTrue(), true) << k.name;
    EXPECT_TRUE(mesh->LoadAll()) << k.name;
    EXPECT_EQ(mesh->IsAllLoaded(), 0u) << k.name;
    EXPECT_GT(mesh->CalculateDataSize(), 0u) << k.name;
    auto* lod = dynamic_cast<VandruIndexedMeshLODResource*>(mesh.get());
    if (lod != nullptr) {
      EXPECT_EQ(lod->GetLODDefinition()->levels.Count(), k.levels);
    }
    mesh->Unlock();
  }
  // A binary LOD file saved from the description loads as "lm".
  Kiv::Ref<VandruGeometryBaseResource> text = Get("cube.lm.txt", &kernel_);
  ASSERT_EQ(text->Lock(), 0u);
  auto* lod = static_cast<VandruIndexedMeshLODResource*>(text.get());
  ASSERT_EQ(lod->GetLODDefinition()->SaveToPath(Kiv::String(folder_.At("saved.lm"))), kMeshOk);
  Kiv::Ref<VandruGeometryBaseResource> binary = Get("saved.lm", &kernel_);
  ASSERT_EQ(binary->Lock(), 0u);
  EXPECT_EQ(
      static_cast<VandruIndexedMeshLODResource*>(binary.get())->GetLODDefinition()->levels.Count(),
      2u);
}

// One bad file of each kind and each kernel fault: the reasons a reader
// refuses a file are the readers' tests'.
TEST_F(MeshResourceTest, BadFilesFailWithTheirCodesAndKeepNoDefinition) {
  meshtest::FailingManager* refusing = nullptr;
  Kiv::RenderKernel unmanaged(nullptr, 8.0f), refusingKernel(nullptr, 8.0f),
      emptyChunks(nullptr, 8.0f);
  unmanaged.SetMaterialManager(nullptr);
  auto manager = std::make_unique<meshtest::FailingManager>();
  refusing = manager.get();
  refusing->failure = Kiv::MaterialManager::kUnsupported;
  refusingKernel.SetMaterialManager(std::move(manager));
  manager = std::make_unique<meshtest::FailingManager>();
  manager->emptyChunks = true;
  emptyChunks.SetMaterialManager(std::move(manager));
  struct Case {
    const char* name;
    Kiv::RenderKernel* kernel;
    uint32_t code;
  };
  const Case cases[] = {
      {"cube.im", nullptr, kMeshUnknown},
      {"cube.lm.txt", nullptr, kMeshUnknown},
      {"missing.lm.txt", &kernel_, kMeshFileOpenError},
      {"cut.pm", &kernel_, kMeshFileFormatError},
      {"junk.lm", &kernel_, kMeshFileFormatError},
      {"old.im", &kernel_, kMeshFileVersionError},
      {"cube.im", &unmanaged, kMeshNoMaterialManager},
      {"cube.lm.txt", &unmanaged, kMeshNoMaterialManager},
      {"cube.im", &refusingKernel, kMeshUnsupportedMaterial},
      {"nokind.im", &kernel_, kMeshUnknownMaterial},
      {"cube.im", &emptyChunks, kMeshFailChunkCreate},
  };
  for (const Case& k : cases) {
    Kiv::Ref<VandruGeometryBaseResource> mesh = Get(k.name, k.kernel);
    ASSERT_TRUE(mesh) << k.name;
    EXPECT_EQ(mesh->Lock(), 1u) << k.name;
    EXPECT_EQ(mesh->GetLoadResult(), k.code) << k.name << " " << MeshResultName(k.code);
    EXPECT_EQ(mesh->GetDefinition(), nullptr) << k.name;
    EXPECT_FALSE(mesh->IsLocked()) << k.name;
    EXPECT_FALSE(mesh->LoadAll()) << k.name;
    EXPECT_EQ(mesh->IsAllLoaded(), 1u) << k.name;
  }
}

TEST(MeshResult, NamesAndTextsOfTheNineCodes) {
  EXPECT_EQ(MeshResultName(kMeshOk), nullptr);
  EXPECT_EQ(MeshResultText(10), nullptr);
  EXPECT_STREQ(MeshResultName(kMeshUnknown), "RES_UNKNOWN");
  EXPECT_STREQ(MeshResultText(kMeshUnknown), "Unknown mesh load error");
  EXPECT_STREQ(MeshResultName(kMeshNoMaterialManager), "RES_NO_MATERIAL_MANAGER");
  EXPECT_STREQ(MeshResultText(kMeshNoMaterialManager),
               "Unable to find material manager in Render Kernel");
  EXPECT_STREQ(MeshResultName(kMeshFileDataError), "RES_FILE_DATA_ERROR");
  EXPECT_STREQ(MeshResultText(kMeshFileDataError), "File contains invalid data");
}

}  // namespace
