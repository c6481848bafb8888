// Meshes loaded for checks: the data manager's LoadMeshForCheck over mesh
// files written into the asset folder, and what the loads report.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kiv/basics/Matrix4.h"
#include "kiv/scene/Camera.h"
#include "kiv/scene/ParallelLight.h"
#include "kiv/model/MeshFileSupport.h"
#include "tests/tetlib/MeshFiles.h"
#include "tests/tetlib/TetTestSupport.h"
#include "render/instances/VandruIndexedMeshInstance.h"
#include "tetlib/MeshData.h"

namespace {

using Lines_ = std::vector<std::string>;

class CheckMeshesTest : public TetTest {
 protected:
  void SetUp() override {
    TetTest::SetUp();
    UseOwnDefinitions();
    Manager().SetAssetFolder(Kiv::PString(), Kiv::File::Path(At("asset") + "/"));
    Manager().SetAssetBuild(3.401f);
    root_.SetName(Kiv::PString("scenery"));
    Put("asset/.keep", "");
  }

  void PutMesh(const std::string& name, const std::string& keys = "") {
    std::istringstream words(keys);
    ASSERT_TRUE(tetfixture::WriteIndexedMesh(At("asset/" + name), words));
  }

  TETLib::MeshData* Load(const std::string& name) {
    return Manager().LoadMeshForCheck(Kiv::PString(name), &root_);
  }

  TETLib::Container root_;
};

// What loading one name reports (each case in a fresh asset).
TEST_F(CheckMeshesTest, LoadsReportWhatIsWrongWithTheMeshAndItsTextures) {
  PutMesh("plain.im");
  PutMesh("bare.im", "texture=Body.texture");
  PutMesh("paint.im", "texture=paint\\Paint.texture");
  Put("asset/paint/paint.texture.txt", "Primary=Paint.bmp\r\n");
  PutMesh("drawn.im", "texture=drawn.texture");
  Put("asset/drawn.texture.txt", "Primary=drawn.bmp\n");
  Put("asset/drawn.bmp", "");
  Put("asset/bad.im", "KIRF");
  Put("outside.im", tetfixture::MeshBytes());
  struct Case {
    std::string name;
    bool loaded;
    Lines_ findings;
  };
  const Case cases[] = {
      {"plain.im", true, {}},
      {At("asset/plain.im"), true, {}},
      {"Plain.IM", true, {}},
      {"bare.im", true, Found("E", "$tet_mesh_load_texture", {"body.texture.txt"})},
      {"paint.im", true, Found("E", "$tet_mesh_load_texture", {"paint/paint.bmp"})},
      {"drawn.im", true, {}},
      {"none.im", false, Found("E", "$tet_mesh_load_mesh", {"none.im"})},
      {"../outside.im", false, Found("E", "$tet_mesh_load_mesh", {"../outside.im"})},
      {"bad.im", false, Found("E", "$tet_mesh_initialise_mesh", {"bad.im"})},
      {"bad.txt", false, {}},
  };
  for (const Case& c : cases) {
    Manager().SetAssetFolder(Kiv::PString(), Kiv::File::Path(At("asset") + "/"));
    Findings().Clear();
    EXPECT_EQ(Load(c.name) != nullptr, c.loaded) << c.name;
    EXPECT_EQ(Lines(), c.findings) << c.name;
  }
}

// Attachment points lose everything up to their last "/"; only the points
// whose names begin with "p" become named particles of the instance.
TEST_F(CheckMeshesTest, AttachmentPointsAndNamedParticlesOfALoadedMesh) {
  PutMesh("lamp.im", "attachments=p.lamp,a.one,P.Smoke,dir/a.two");
  TETLib::MeshData* mesh = Load("lamp.im");
  ASSERT_NE(mesh, nullptr);
  Lines_ points;
  for (const TETLib::AttachmentPoint& point : mesh->GetAttachmentPoints())
    points.push_back(point.name.Str());
  EXPECT_EQ(points, (Lines_{"p.lamp", "a.one", "P.Smoke", "a.two"}));
  EXPECT_EQ(mesh->GetAttachmentPointCount(), 4u);
  ASSERT_EQ(mesh->GetNamedParticleCount(), 2u);
  EXPECT_EQ(mesh->GetNamedParticles()[0].name.Str(), "p.lamp");
  EXPECT_EQ(mesh->GetNamedParticles()[1].name.Str(), "P.Smoke");
  EXPECT_EQ(TETLib::MeshData().GetNamedParticleCount(), 0u);
}

TEST_F(CheckMeshesTest, ASecondMeshOfAContainerReplacesTheFirst) {
  PutMesh("a.im", "attachments=a.one");
  PutMesh("b.im", "attachments=a.two");
  ASSERT_NE(Load("a.im"), nullptr);
  TETLib::MeshData* second = Load("b.im");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(TETLib::MeshData::LiveCount(), 1);
  EXPECT_EQ(Manager().FindMesh(&root_), second);
  EXPECT_EQ(Manager().GetCurrentMesh(), second);
  EXPECT_TRUE(second->HasAttachmentPoint("a.two"));
  Manager().SetAssetFolder(Kiv::PString(), Kiv::File::Path(At("asset") + "/"));
  EXPECT_EQ(TETLib::MeshData::LiveCount(), 0);
}

// The attachment points of every mesh loaded for the asset are names that
// values may give, whatever registry the value's source names; they go
// with their mesh.
TEST_F(CheckMeshesTest, AttachmentPointsOfLoadedMeshesAreRegisteredNames) {
  PutMesh("x.im", "attachments=a.road0a,a.road0b");
  PutMesh("y.im", "attachments=a.track0a");
  TETLib::Container other;
  ASSERT_NE(Load("x.im"), nullptr);
  ASSERT_NE(Manager().LoadMeshForCheck(Kiv::PString("y.im"), &other), nullptr);
  const struct {
    const char* name;
    const char* source;
    bool registered;
  } cases[] = {
      {"a.road0a", "attachment", true}, {"a.road0b", "attached-track", true},
      {"a.track0a", "attachment", true}, {"a.road0c", "attachment", false},
      {"", "attachment", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Manager().IsNameRegistered(Kiv::PString(c.name), Kiv::PString(c.source)),
              c.registered)
        << c.name;
  }
  Manager().UnregisterMesh(&other);
  EXPECT_FALSE(Manager().IsNameRegistered(Kiv::PString("a.track0a"), Kiv::PString("attachment")));
  EXPECT_TRUE(Manager().IsNameRegistered(Kiv::PString("a.road0a"), Kiv::PString("attachment")));
}

// A loaded mesh hands out its definition (the LOD one for a LOD mesh), the
// definition's chunk names (as other entries) and a draw of its instance; an empty one none.
TEST_F(CheckMeshesTest, LoadedMeshesHandOutTheirDefinitions) {
  PutMesh("plain.im");
  PutMesh("level.im");
  ASSERT_TRUE(tetfixture::WriteLodMesh(At("asset"), "lod.lm", "level.im"));
  struct Case {
    std::string name;
    std::string className;
    bool lod;
    Lines_ chunkNames;  // LOD files keep none.
  };
  const Case cases[] = {{"plain.im", "MeshData", false, {"sides", "ends"}},
                        {"lod.lm", "LODMeshData", true, {}}};
  for (const Case& c : cases) {
    TETLib::MeshData* mesh = Load(c.name);
    ASSERT_NE(mesh, nullptr) << c.name;
    EXPECT_EQ(mesh->GetClassName().View(), c.className);
    const VandruIndexedMeshDefinition* definition = mesh->GetMeshDefinition();
    ASSERT_NE(definition, nullptr) << c.name;
    EXPECT_EQ(dynamic_cast<const VandruIndexedMeshLODDefinition*>(definition) != nullptr, c.lod);
    EXPECT_EQ(mesh->GetDefinitionData(), definition);
    EXPECT_EQ(mesh->GetDefinitionData()->GetChunkVertexCount(1), 12u) << c.name;
    EXPECT_EQ(mesh->GetOtherEntryCount(), c.chunkNames.size()) << c.name;
    Lines_ names;
    for (const Kiv::PString& name : mesh->GetOtherEntries()) names.push_back(name.Str());
    EXPECT_EQ(names, c.chunkNames) << c.name;
    EXPECT_TRUE(mesh->ForwardRenderCall(nullptr, nullptr, Kiv::Matrix4{})) << c.name;
  }
  TETLib::MeshData empty;
  EXPECT_EQ(empty.GetMeshDefinition(), nullptr);
  EXPECT_EQ(empty.GetOtherEntryCount(), 0u);
  EXPECT_FALSE(empty.ForwardRenderCall(nullptr, nullptr, Kiv::Matrix4{}));
}

TEST_F(CheckMeshesTest, AnimationsNeedALoadedMesh) {
  EXPECT_EQ(Load("a.kin"), nullptr);
  EXPECT_EQ(Load("b.kin"), nullptr);
  EXPECT_EQ(Lines(), Found("E", "$tet_dm_animationfailed"));
  // A mesh without bones has no skeleton to run an animation on.
  Manager().SetAssetFolder(Kiv::PString(), Kiv::File::Path(At("asset") + "/"));
  Findings().Clear();
  PutMesh("plain.im");
  Put("asset/anim.kin", "");
  ASSERT_NE(Load("plain.im"), nullptr);
  EXPECT_EQ(Load("anim.kin"), nullptr);
  EXPECT_EQ(Lines(), Found("E", "$tet_mesh_animationfailedskeleton", {"anim.kin"}));
  // Another container's animation goes to its own mesh, not the current one.
  PutMesh("boned.im", "bones=root");
  TETLib::Container other;
  ASSERT_NE(Manager().LoadMeshForCheck(Kiv::PString("boned.im"), &other), nullptr);
  Findings().Clear();
  EXPECT_EQ(Load("anim.kin"), nullptr);
  EXPECT_EQ(Lines(), Found("E", "$tet_mesh_animationfailedskeleton", {"anim.kin"}));
  Findings().Clear();
  EXPECT_EQ(Manager().LoadMeshForCheck(Kiv::PString("anim.kin"), &other), nullptr);
  EXPECT_EQ(Lines(), Lines_());
}

// A registered mesh hangs under the check scene's root, lit by the check
// light; it leaves the scene when it is replaced or its asset is left.
TEST_F(CheckMeshesTest, RegisteredMeshesHangUnderTheCheckSceneLitByItsLight) {
  Kiv::Camera camera;
  ASSERT_TRUE(Manager().AttachEngine(TETLib::RenderContext{nullptr, &kernel_, &camera}));
  Kiv::Particle* root = Manager().GetCheckScene();
  Kiv::Particle* light = Manager().GetCheckLight();
  PutMesh("a.im");
  PutMesh("b.im");
  TETLib::MeshData* first = Load("a.im");
  ASSERT_NE(first, nullptr);
  TETLib::Container other;
  TETLib::MeshData* second = Manager().LoadMeshForCheck(Kiv::PString("b.im"), &other);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(root->GetChildren(), (std::vector<Kiv::Particle*>{light, first, second}));
  ASSERT_TRUE(second->GetInstance()->CalculateLighting(false));
  EXPECT_EQ(second->GetInstance()->GetLights(),
            Kiv::DisplayLightList{&Manager().GetCheckLight()->GetDisplayLight()});

  TETLib::MeshData* replaced = Load("b.im");
  ASSERT_NE(replaced, nullptr);
  EXPECT_EQ(root->GetChildren(), (std::vector<Kiv::Particle*>{light, second, replaced}));
  Manager().SetAssetFolder(Kiv::PString(), Kiv::File::Path(At("asset") + "/"));
  EXPECT_EQ(root->GetChildren(), std::vector<Kiv::Particle*>{light});
  TETLib::DataManager::DestroyInstance();
}

// Start-up makes the fourteen dummy materials through the run's render
// kernel (none without one); shut-down gives them back, and a later
// start-up makes them again.
TEST_F(CheckMeshesTest, RenderGlobalsComeAndGoWithTheRun) {
  struct Case {
    bool kernel;
    size_t materials;
  };
  for (const Case& c : {Case{false, 0}, Case{true, 14}}) {
    Kiv::SetRenderKernel(c.kernel ? &kernel_ : nullptr);
    EXPECT_TRUE(Manager().AttachEngine(
        TETLib::RenderContext{nullptr, c.kernel ? &kernel_ : nullptr, nullptr}));
    EXPECT_NE(Manager().GetCheckScene(), nullptr);
    Manager().RegisterVandruBumpVertexType();
    EXPECT_EQ(TETLib::DummyMaterialCount(), c.materials);
    TETLib::ReleaseRenderGlobals();
    EXPECT_EQ(TETLib::DummyMaterialCount(), 0u);
  }
}

}  // namespace
