// The render globals of the checks, seen through the engine stand-in: the
// check scene in the renderer's scene graph, the camera's light and fog,
// the alpha-blend caches, the dummy materials with the environment texture,
// the registered vertex types, and their release at shut-down.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "kiv/display/Material.h"
#include "kiv/scene/Camera.h"
#include "kiv/scene/ParallelLight.h"
#include "render/materials/AlphaBlendCacheUnsorted.h"
#include "render/materials/VandruAlphaBlendCache.h"
#include "tests/support/CapturedLog.h"
#include "tests/tetlib/TetTestSupport.h"

namespace {

const std::string kUnable = "DataManager::RegisterVandruBumpVertexType> Unable to load '";

// A material manager that refuses the dummy materials of the given types.
class RefusingManager : public Kiv::MaterialManager {
 public:
  explicit RefusingManager(std::set<std::string> refused) : refused_(std::move(refused)) {}
  Kiv::Material* GetMaterial(const Kiv::PString& decorated, uint32_t* failure) override {
    const std::string name = decorated.Str();
    if (refused_.count(name.substr(name.find('.') + 1)) != 0) return nullptr;
    return MaterialManager::GetMaterial(decorated, failure);
  }

 private:
  std::set<std::string> refused_;
};

class RenderGlobalsTest : public TetTest {
 protected:
  void TearDown() override {
    TETLib::ReleaseRenderGlobals();
    TetTest::TearDown();
  }

  void Attach(Kiv::Camera* camera) {
    ASSERT_TRUE(Manager().AttachEngine(TETLib::RenderContext{nullptr, &kernel_, camera}));
  }

  Kiv::RenderingCache* Cache(const char* name) {
    return kernel_.GetRenderingCacheManager()->FindCache(Kiv::PString(name));
  }

  // Outlives the data manager, as start-up's would.
  Kiv::Camera camera_;
};

bool HasFogLine(const Kiv::Display& display) {
  for (const Kiv::String& line : display.GetRecord()) {
    if (line.rfind("Fog", 0) == 0) return true;
  }
  return false;
}

// The root joins the renderer's scene graph either way; only a camera
// brings the light (a child of the root, with the camera's orientation)
// and the fixed fog.
TEST_F(RenderGlobalsTest, CameraGetsTheSceneALightAndFixedFog) {
  for (bool withCamera : {false, true}) {
    SCOPED_TRACE(withCamera ? "camera" : "no camera");
    TetTest::TearDown();
    TetTest::SetUp();
    Kiv::Display& display = *kernel_.GetDisplay();
    display.ClearRecord();
    camera_ = Kiv::Camera{};
    camera_.orientation = {0.0f, 0.6f, 0.0f, 0.8f};
    Attach(withCamera ? &camera_ : nullptr);

    Kiv::Particle* root = Manager().GetCheckScene();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(kernel_.GetSceneGraph()->GetScenes(), std::vector<Kiv::Particle*>{root});
    EXPECT_EQ(TETLib::GetRendererRoot(), &kernel_);
    Kiv::ParallelLight* light = Manager().GetCheckLight();
    if (!withCamera) {
      EXPECT_EQ(light, nullptr);
      EXPECT_TRUE(root->GetChildren().empty());
      EXPECT_FALSE(HasFogLine(display));
      continue;
    }
    EXPECT_EQ(camera_.GetScene(), root);
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(root->GetChildren(), std::vector<Kiv::Particle*>{light});
    EXPECT_EQ(light->GetFlags() & 2, 2);
    EXPECT_EQ(light->GetPosition(), (std::array<float, 3>{0, 0, 0}));
    EXPECT_EQ(light->GetOrientation().ToArray(), camera_.orientation.ToArray());
    EXPECT_EQ(light->GetRange(), 100000.0f);
    EXPECT_EQ(light->GetColour(), (Kiv::Color{0, 0, 0, 1}));
    const Kiv::DisplayLight& lit = light->GetDisplayLight();
    EXPECT_EQ(lit.type, Kiv::DisplayLight::kParallel);
    EXPECT_EQ(lit.ambient, (Kiv::Color{0.1f, 0.1f, 0.1f, 1.0f}));
    EXPECT_EQ(lit.diffuse, (Kiv::Color{0.7f, 0.7f, 0.7f, 1.0f}));
    EXPECT_EQ(lit.specular, (Kiv::Color{0.6f, 0.6f, 0.6f, 1.0f}));
    // The camera turned about y: it looks along (-0.96, 0, -0.28).
    EXPECT_NEAR(lit.direction[0], -0.96f, 1e-5f);
    EXPECT_NEAR(lit.direction[2], -0.28f, 1e-5f);
    EXPECT_EQ(display.GetFogDensity(), 1e-18f);
    EXPECT_EQ(display.GetFogMode(), 3u);
  }
}

// A second start-up call moves the scene to the renderer it names and
// keeps the one light.
TEST_F(RenderGlobalsTest, AttachingAgainMovesTheSceneAndKeepsOneLight) {
  Kiv::RenderKernel other(nullptr, 8.0f);
  Attach(&camera_);
  ASSERT_TRUE(Manager().AttachEngine(TETLib::RenderContext{nullptr, &other, &camera_}));
  Kiv::Particle* root = Manager().GetCheckScene();
  EXPECT_TRUE(kernel_.GetSceneGraph()->GetScenes().empty());
  EXPECT_EQ(other.GetSceneGraph()->GetScenes(), std::vector<Kiv::Particle*>{root});
  EXPECT_EQ(root->GetChildren().size(), 1u);
  EXPECT_EQ(TETLib::GetRendererRoot(), &other);
  TETLib::DataManager::DestroyInstance();
  EXPECT_TRUE(other.GetSceneGraph()->GetScenes().empty());
}

// One set of the three caches, registered with the renderer and made only
// once; the fourteen dummy materials; the environment texture on the gloss
// and reflect materials; four vertex types.
TEST_F(RenderGlobalsTest, RegistrationMakesOneSetOfCachesMaterialsAndVertexTypes) {
  VUTest::CapturedLog log;
  Attach(nullptr);
  Manager().RegisterVandruBumpVertexType();
  auto* sorted =
      dynamic_cast<Kiv::VandruAlphaBlendCache*>(Cache(Kiv::AlphaBlendCache::AlphaBlendCacheID));
  auto* unsorted =
      dynamic_cast<Kiv::AlphaBlendCacheUnsorted*>(Cache(Kiv::AlphaBlendCacheUnsorted::kName));
  auto* engineUnsorted =
      dynamic_cast<Kiv::UnsortedAlphaBlendCache*>(Cache(Kiv::UnsortedAlphaBlendCache::kName));
  ASSERT_NE(sorted, nullptr);
  ASSERT_NE(unsorted, nullptr);
  ASSERT_NE(engineUnsorted, nullptr);
  EXPECT_EQ(engineUnsorted->GetMode(), 1u);
  EXPECT_EQ(Kiv::AlphaBlendCacheUnsorted::Instance(), unsorted);
  // The manager's reference and the globals' one.
  for (Kiv::RenderingCache* cache :
       {Cache(Kiv::AlphaBlendCache::AlphaBlendCacheID), Cache(Kiv::AlphaBlendCacheUnsorted::kName),
        Cache(Kiv::UnsortedAlphaBlendCache::kName)})
    EXPECT_EQ(cache->UseCount(), 2);

  EXPECT_EQ(TETLib::DummyMaterialCount(), 14u);
  Kiv::MaterialTexture* shared = kernel_.GetMaterialManager()->GetSharedTexture(0);
  for (const char* name : {"m.gloss", "m.reflect", "m.onetex", "m.tbumpenv"}) {
    SCOPED_TRACE(name);
    const Kiv::Material* material = TETLib::FindDummyMaterial(name);
    ASSERT_NE(material, nullptr);
    const bool environment = std::string(name) == "m.gloss" || std::string(name) == "m.reflect";
    EXPECT_EQ(material->GetTexture(9), environment ? shared : nullptr);
  }
  EXPECT_EQ(TETLib::RegisteredVertexTypes().size(), 4u);

  Manager().RegisterVandruBumpVertexType();
  EXPECT_EQ(Cache(Kiv::AlphaBlendCacheUnsorted::kName), unsorted);
  EXPECT_EQ(unsorted->UseCount(), 2);
  EXPECT_EQ(TETLib::RegisteredVertexTypes().size(), 4u);
  EXPECT_TRUE(log.Lines().empty());
}

// Each material that cannot be made is logged by its type name and the rest
// are made; without a material manager the shared texture fails too.
TEST_F(RenderGlobalsTest, FailedLoadsAreLoggedAndTheRestGoOn) {
  const struct {
    const char* label;
    std::set<std::string> refused;
    bool noManager;
    size_t materials;
    size_t vertexTypes;
  } cases[] = {
      {"two refused", {"m.tbumpenv", "m.gloss"}, false, 12, 3},
      {"no manager", {}, true, 0, 0},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.label);
    TETLib::ReleaseRenderGlobals();
    TetTest::TearDown();
    TetTest::SetUp();
    kernel_.GetRenderingCacheManager()->RemoveAll();
    if (row.noManager)
      kernel_.SetMaterialManager(nullptr);
    else
      kernel_.SetMaterialManager(std::make_unique<RefusingManager>(row.refused));
    VUTest::CapturedLog log;
    Attach(nullptr);
    Manager().RegisterVandruBumpVertexType();
    EXPECT_EQ(TETLib::DummyMaterialCount(), row.materials);
    EXPECT_EQ(TETLib::RegisteredVertexTypes().size(), row.vertexTypes);
    std::vector<std::string> expected;
    for (const char* name :
         {"m.tbumptex", "m.tbumpcoltex", "m.tbumpglosscol", "m.tbumpenv", "m.tgroundonetex",
          "m.tgroundonetexvs", "m.tonetexnoalpha", "m.tbumpgloss", "m.tglossrust", "m.notex",
          "m.onetex", "m.nofogtex", "m.gloss", "m.reflect"}) {
      if (row.noManager || row.refused.count(name) != 0) expected.push_back(kUnable + name + "'");
    }
    if (row.noManager)
      expected.push_back(
          "DataManager::RegisterVandruBumpVertexType> SharedTextureCollection failed");
    EXPECT_EQ(log.Lines(), expected);
    if (!row.noManager) {
      EXPECT_NE(TETLib::FindDummyMaterial("m.reflect")->GetTexture(9), nullptr);
    }
  }
}

// Release first gives back the materials, the caches' references and the
// vertex types (the scene stays); the data manager then takes the scene out
// of the graph and lets the camera go. A later start-up registers again.
TEST_F(RenderGlobalsTest, ShutDownReleasesGlobalsThenTheScene) {
  Attach(&camera_);
  Manager().RegisterVandruBumpVertexType();
  Kiv::RenderingCache* sorted = Cache(Kiv::AlphaBlendCache::AlphaBlendCacheID);
  ASSERT_NE(sorted, nullptr);

  TETLib::ReleaseRenderGlobals();
  EXPECT_EQ(TETLib::DummyMaterialCount(), 0u);
  EXPECT_TRUE(TETLib::RegisteredVertexTypes().empty());
  for (Kiv::RenderingCache* cache : {sorted, Cache(Kiv::AlphaBlendCacheUnsorted::kName),
                                     Cache(Kiv::UnsortedAlphaBlendCache::kName)})
    EXPECT_EQ(cache->UseCount(), 1) << cache->GetName().Str();
  EXPECT_EQ(kernel_.GetSceneGraph()->GetScenes().size(), 1u);
  EXPECT_NE(camera_.GetScene(), nullptr);

  TETLib::DataManager::DestroyInstance();
  EXPECT_TRUE(kernel_.GetSceneGraph()->GetScenes().empty());
  EXPECT_EQ(camera_.GetScene(), nullptr);
  EXPECT_EQ(TETLib::GetRendererRoot(), nullptr);

  kernel_.GetRenderingCacheManager()->RemoveAll();
  TETLib::DataManager::CreateInstance((At("defs") + "/").c_str());
  Attach(nullptr);
  Manager().RegisterVandruBumpVertexType();
  EXPECT_EQ(TETLib::DummyMaterialCount(), 14u);
  EXPECT_NE(Cache(Kiv::AlphaBlendCache::AlphaBlendCacheID), nullptr);
}

}  // namespace
