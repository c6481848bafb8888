// Mesh instances made by the mesh resources: ray tests, culling and
// drawing, levels of detail, skinned copies and the sharing of chunks.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "kiv/basics/Bitmap.h"
#include "kiv/display/ViewPort.h"
#include "kiv/scene/ReferencePoint.h"
#include "kiv/scene/ViewPoint.h"
#include "render/instances/MeshInstanceSupport.h"
#include "render/instances/VandruDynamicIndexedMeshInstance.h"
#include "render/instances/VandruDynamicIndexedMeshLODInstance.h"
#include "render/instances/VandruProgressiveMeshInstance.h"
#include "render/meshes/VandruIndexedMeshLODResource.h"
#include "render/meshes/VandruIndexedMeshResource.h"
#include "render/meshes/VandruProgressiveMeshResource.h"
#include "tests/render/CubeFixture.h"
#include "tests/render/MeshTestSupport.h"

namespace {

using meshfixture::MeshBytes;
using meshfixture::MeshSpec;

// The cube skinned by two bones: influences on its first chunk (the
// skeleton follows from them), or only a skeleton.
MeshSpec SkinnedCube(bool influences) {
  MeshSpec spec = meshfixture::CubeMesh(false);
  spec.skeleton = !influences;
  spec.maxWeights = 2;
  spec.influences = influences;
  spec.influenceList = {{"root", "", {{0, {{0, 1.0f}, {1, 0.5f}}}}},
                        {"child", "root", {{0, {{1, 0.5f}}}}}};
  return spec;
}

constexpr const char* kLevels =
    "version 1.00\nmesh 0 { name %s }\nmesh 50 { name %s }\nmesh 200 { name %s }\n";

std::string Levels(const std::string& file) {
  char text[256];
  std::snprintf(text, sizeof text, kLevels, file.c_str(), file.c_str(), file.c_str());
  return text;
}

class MeshInstanceTest : public meshtest::MeshFolderTest {
 protected:
  void SetUp() override {
    folder_.Put("cube.im", MeshBytes(meshfixture::CubeMesh(false)));
    folder_.Put("skinned.im", MeshBytes(SkinnedCube(true)));
    folder_.Put("bare.im", MeshBytes(SkinnedCube(false)));
    folder_.Put("cube.lm.txt", Levels("cube.im"));
    folder_.Put("skinned.lm.txt", Levels("skinned.im"));
    MeshSpec boned = meshfixture::CubeMesh(false);  // A skeleton, no skinning.
    boned.skeleton = true;
    boned.pmin = true;
    boned.chunks[0].geometry.name = "root";
    boned.chunks[1].geometry.name = "child";
    folder_.Put("boned.pm", MeshBytes(boned));
    boned.chunks[1].geometry.name = "";
    folder_.Put("half.pm", MeshBytes(boned));
    MeshSpec skinned = SkinnedCube(true);
    skinned.pmin = true;
    skinned.chunks[0].geometry.name = "root";
    skinned.chunks[1].geometry.name = "child";
    folder_.Put("skinned.pm", MeshBytes(skinned));
    kernel_.GetDisplay()->BeginFrame();
  }

  // A loaded and locked resource (the test holds it).
  Kiv::Ref<VandruGeometryBaseResource> Load(const std::string& name) {
    Kiv::Ref<VandruGeometryBaseResource> mesh = Get(name, &kernel_);
    EXPECT_TRUE(mesh) << name;
    if (mesh) {
      EXPECT_EQ(mesh->Lock(), 0u) << name;
    }
    return mesh;
  }

  template <class T = VandruIndexedMeshInstance>
  std::unique_ptr<T> Instance(VandruGeometryBaseResource& resource) {
    VandruIndexedMeshInstance* made = resource.CreateMeshInstance();
    T* cast = dynamic_cast<T*>(made);
    EXPECT_NE(cast, nullptr);
    if (cast == nullptr) delete made;
    return std::unique_ptr<T>(cast);
  }

  // Culls at a camera `distance` along x and draws; answers the draws.
  size_t CullAndDraw(VandruIndexedMeshInstance& instance, float distance) {
    Kiv::Display& display = *kernel_.GetDisplay();
    display.BeginFrame();
    display.ClearRecord();
    Kiv::Camera camera;
    camera.position = {distance, 0, 0};
    Kiv::ViewPoint view(&display, camera);
    instance.Cull(view, Kiv::Matrix4{});
    Kiv::ViewPort viewport;
    view.Draw(&viewport);
    return display.GetDraws().size();
  }
};

TEST_F(MeshInstanceTest, RaysHitTheCubeUnlessScaledToNothingOrTransparent) {
  auto resource = Load("cube.im");
  auto cube = Instance(*resource);
  ASSERT_TRUE(cube);
  EXPECT_EQ(cube->GetID(), 17u);
  struct Case {
    std::array<float, 3> scale;
    float opacity;
    bool hit;
    float distance;
  };
  const Case cases[] = {
      {{1, 1, 1}, 1, true, 4},    {{2, 2, 2}, 1, true, 3},    {{1, 1, 0}, 1, false, 100},
      {{0, 0, 0}, 1, false, 100}, {{1, 1, 1}, 0, false, 100},
  };
  for (const Case& k : cases) {
    cube->SetScale(k.scale);
    cube->SetOpacity(k.opacity);
    float distance = 100;
    CollisionResult result;
    const MeshRay ray{{0.25f, 0.5f, -5}, {0, 0, 1}};
    EXPECT_EQ(cube->TestCollisionGeometry(ray, &distance, &result), k.hit) << k.scale[2];
    EXPECT_FLOAT_EQ(distance, k.distance);
    if (!k.hit) continue;
    EXPECT_EQ(result.geometry, cube.get());
    EXPECT_EQ(result.chunk, 1u);
    EXPECT_EQ(result.triangle, 4u);
  }
  // A ray beside the box meets nothing.
  cube->SetScale({1, 1, 1});
  cube->SetOpacity(1);
  float distance = 100;
  CollisionResult result;
  EXPECT_FALSE(cube->TestCollisionGeometry({{3, 3, -5}, {0, 0, 1}}, &distance, &result));
}

TEST_F(MeshInstanceTest, TransparentOrFlattenedInstancesDrawNothing) {
  auto cubeResource = Load("cube.im");
  auto lodResource = Load("cube.lm.txt");
  std::unique_ptr<VandruIndexedMeshInstance> instances[] = {Instance(*cubeResource),
                                                            Instance(*lodResource)};
  for (auto& instance : instances) {
    ASSERT_TRUE(instance);
    EXPECT_EQ(CullAndDraw(*instance, 10), 2u) << instance->GetID();
    instance->SetOpacity(0);
    EXPECT_EQ(CullAndDraw(*instance, 10), 0u) << instance->GetID();
    EXPECT_EQ(instance->GetChunks()[1]->GetOpacity(), 0.0f) << instance->GetID();
    kernel_.GetDisplay()->ClearRecord();
    instance->DrawGeometry(kernel_.GetDisplay(), nullptr, Kiv::Matrix4{}, nullptr, true);
    EXPECT_TRUE(kernel_.GetDisplay()->GetDraws().empty()) << instance->GetID();
    instance->SetOpacity(0.5f);
    instance->SetScale({1, 0, 1});
    EXPECT_EQ(CullAndDraw(*instance, 10), 0u) << instance->GetID();
    instance->SetScale({1, 1, 1});
    EXPECT_EQ(CullAndDraw(*instance, 10), 2u) << instance->GetID();
  }
}

TEST_F(MeshInstanceTest, LevelFollowsTheCameraUnlessPinned) {
  auto resource = Load("cube.lm.txt");
  auto lod = Instance<VandruIndexedMeshLODInstance>(*resource);
  ASSERT_TRUE(lod);
  EXPECT_EQ(lod->GetID(), 21u);
  EXPECT_EQ(lod->GetSelectedLevel(), 2u);  // The last distance level, after set-up.
  EXPECT_EQ(lod->GetDrawnLevel(), 0u);
  const std::pair<float, uint32_t> steps[] = {{10, 0}, {100, 1}, {500, 2}, {49, 0}, {50, 1}};
  for (const auto& [distance, level] : steps) {
    CullAndDraw(*lod, distance);
    EXPECT_EQ(lod->GetDrawnLevel(), level) << distance;
    EXPECT_FLOAT_EQ(lod->GetMeasure(), distance);
  }
  // Scaling reaches the bounds culling uses.
  const float extent = lod->GetBoundingVolume().extents[0];
  lod->SetScale({2, 2, 2});
  EXPECT_FLOAT_EQ(lod->GetBoundingVolume().extents[0], 2 * extent);
  EXPECT_FLOAT_EQ(lod->GetBoundingSphere(Kiv::Matrix4{}).radius, 2 * std::sqrt(3.0f));
  lod->SetScale({1, 1, 1});
  lod->SetLevelPinned(true);
  CullAndDraw(*lod, 500);
  EXPECT_EQ(lod->GetDrawnLevel(), 1u);
  lod->SelectLevel(0);
  lod->SelectLevel(3);  // Past the levels: nothing changes.
  EXPECT_EQ(lod->GetSelectedLevel(), 0u);
  EXPECT_EQ(lod->GetChunks().Items().data(), lod->GetLevel(0).chunks.Items().data());
  lod->SetUpdateLighting(false);
  EXPECT_EQ(lod->GetPendingLighting(), 0u);
  EXPECT_EQ(lod->GetLevelFlags(), std::vector<uint8_t>(3, 0));
}

TEST_F(MeshInstanceTest, DynamicLodCopyEndsOnTheLastLevelWithChunksOfItsOwn) {
  auto resource = Load("skinned.lm.txt");
  auto lod = Instance<VandruDynamicIndexedMeshLODInstance>(*resource);
  ASSERT_TRUE(lod);
  EXPECT_EQ(lod->GetID(), 22u);
  ASSERT_EQ(lod->GetNodeCount(), 2u);
  lod->SelectLevel(0);
  const Kiv::GeometryChunk* shared = lod->GetLevel(0).chunks[0].get();
  const int32_t uses = shared->UseCount();
  {
    std::unique_ptr<VandruIndexedMeshInstance> made(lod->CreateInstance());
    auto* copy = dynamic_cast<VandruDynamicIndexedMeshLODInstance*>(made.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetSelectedLevel(), 2u);
    EXPECT_EQ(copy->GetNodeCount(), 2u);
    EXPECT_NE(copy->GetSkeleton(), lod->GetSkeleton());
    for (uint32_t l = 0; l < 3; ++l) {
      const Kiv::GeometryChunk* own = copy->GetLevel(l).chunks[0].get();
      EXPECT_NE(own, lod->GetLevel(l).chunks[0].get()) << l;
      EXPECT_EQ(own->UseCount(), 1) << l;
      EXPECT_EQ(own->GetInfluenceMatrix(1), &copy->GetNode(1).skinMatrix) << l;
    }
    EXPECT_EQ(shared->UseCount(), uses);
  }
  EXPECT_EQ(shared->UseCount(), uses);
}

TEST_F(MeshInstanceTest, CopiesShareChunkListsUntilTheyCloneAChunk) {
  auto resource = Load("cube.im");
  auto source = Instance(*resource);
  ASSERT_TRUE(source);
  Kiv::GeometryChunk* first = source->GetChunks()[0].get();
  Kiv::GeometryChunk* second = source->GetChunks()[1].get();
  EXPECT_EQ(first->UseCount(), 2);  // The definition and the instance's list.
  second->SetFlags(second->GetFlags() | VandruIndexedMeshInstance::kPerInstanceChunk);
  std::unique_ptr<VandruIndexedMeshInstance> copy(source->CreateInstance());
  ASSERT_TRUE(copy);
  // The per-instance chunk made the copy unshare its list and clone it.
  EXPECT_EQ(source->GetChunks().Uses(), 1);
  EXPECT_EQ(copy->GetChunks().Uses(), 1);
  EXPECT_EQ(copy->GetChunks()[0].get(), first);
  EXPECT_NE(copy->GetChunks()[1].get(), second);
  EXPECT_EQ(first->UseCount(), 3);
  EXPECT_EQ(second->UseCount(), 2);
  std::unique_ptr<VandruIndexedMeshInstance> plain(copy->CreateInstance());
  ASSERT_TRUE(copy->CloneChunk(0));
  EXPECT_EQ(first->UseCount(), 3);  // The definition, the source and `plain`.
  EXPECT_NE(copy->GetChunks()[0].get(), plain->GetChunks()[0].get());
  EXPECT_FALSE(copy->CloneChunk(2));
  copy.reset();
  plain.reset();
  EXPECT_EQ(first->UseCount(), 2);
  EXPECT_EQ(resource->GetDefinition()->GetChunk(0), first);
}

TEST_F(MeshInstanceTest, SkinnedMeshesGiveDynamicInstancesWithMatricesOfTheirOwn) {
  auto skinned = Load("skinned.im");
  auto a = Instance<VandruDynamicIndexedMeshInstance>(*skinned);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->GetID(), 18u);
  ASSERT_NE(a->GetSkeletonRoot(), nullptr);
  EXPECT_EQ(a->GetNode(0).bone, a->GetSkeletonRoot());
  std::unique_ptr<VandruIndexedMeshInstance> made(a->CreateInstance());
  auto* b = dynamic_cast<VandruDynamicIndexedMeshInstance*>(made.get());
  ASSERT_NE(b, nullptr);
  EXPECT_NE(b->GetSkeletonRoot(), a->GetSkeletonRoot());
  EXPECT_EQ(b->GetNode(0).bone, b->GetSkeletonRoot());
  ASSERT_TRUE(b->CloneChunk(0));
  EXPECT_EQ(b->GetChunks()[0]->GetInfluenceMatrix(0), &b->GetNode(0).skinMatrix);
  // The copy's matrices reach the chunk it shares, and leave it with it.
  Kiv::GeometryChunk* shared = a->GetChunks()[1].get();
  EXPECT_EQ(b->GetChunks()[1].get(), shared);
  EXPECT_EQ(shared->GetInfluenceMatrix(0), &b->GetNode(0).skinMatrix);
  made.reset();
  EXPECT_EQ(shared->GetInfluenceMatrix(0), nullptr);
  // A skinned mesh with a skeleton but no influences makes no instance.
  auto bare = Load("bare.im");
  EXPECT_EQ(bare->CreateMeshInstance(), nullptr);
}

TEST_F(MeshInstanceTest, ProgressiveChunksRideTheirBonesAndCopiesOwnEveryChunk) {
  struct Case {
    const char* file;
    uint32_t id;
    size_t draws;
  };
  const Case cases[] = {{"boned.pm", 19, 2}, {"half.pm", 19, 1}, {"skinned.pm", 20, 2}};
  for (const Case& k : cases) {
    auto resource = Load(k.file);
    auto source = Instance<VandruProgressiveMeshInstance>(*resource);
    ASSERT_TRUE(source) << k.file;
    EXPECT_EQ(source->GetID(), k.id) << k.file;
    EXPECT_EQ(CullAndDraw(*source, 10), k.draws) << k.file;
    EXPECT_FALSE(source->MergeChunk(nullptr, nullptr, 0));
    Kiv::StandardChunkHint hint(0, 0);
    Kiv::GeometryChunk* extra = Kiv::GeometryChunk::Create(3, 1, 3, 0, 0, hint);
    EXPECT_FALSE(source->AddChunk(extra, nullptr)) << k.file;
    Kiv::Ref<Kiv::GeometryChunk> dropped(extra);
    std::unique_ptr<VandruIndexedMeshInstance> copy(source->CreateInstance());
    ASSERT_TRUE(copy) << k.file;
    EXPECT_EQ(copy->GetID(), k.id) << k.file;
    for (uint32_t c = 0; c < 2; ++c) {
      EXPECT_NE(copy->GetChunks()[c].get(), source->GetChunks()[c].get()) << k.file;
      EXPECT_EQ(copy->GetChunks()[c]->UseCount(), 1) << k.file;
    }
    EXPECT_EQ(CullAndDraw(*copy, 10), k.draws) << k.file;
  }
}

TEST_F(MeshInstanceTest, MergeTakesOnlyMergeableChunksOfAnEqualMaterial) {
  auto resource = Load("cube.im");
  auto cube = Instance(*resource);
  ASSERT_TRUE(cube);
  Kiv::GeometryChunk* own = cube->GetChunks()[0].get();
  const uint32_t faces = own->GetNumFaces();
  Kiv::Material* material = cube->GetMaterials()[0].get();
  Kiv::Material other(Kiv::PString("something else"));
  constexpr uint32_t kMerge = Kiv::GeometryChunk::kMergeable;
  constexpr uint32_t kShared = Kiv::GeometryChunk::kSharedOnly;
  struct Case {
    uint32_t ownFlags, newFlags;
    bool sameMaterial;
    uint32_t index;
    bool merged;
  };
  const Case cases[] = {
      {0, kMerge, true, 0, false},
      {kMerge, 0, true, 0, false},
      {kMerge, kMerge | kShared, true, 0, false},
      {kMerge, kMerge, false, 0, false},
      {kMerge, kMerge, true, 2, false},
      {kMerge, kMerge, true, 0, true},
  };
  for (const Case& k : cases) {
    own->SetFlags(k.ownFlags);
    Kiv::GeometryChunk* added = own->CreateInstance();  // Held by nobody.
    ASSERT_NE(added, nullptr);
    added->SetFlags(k.newFlags);
    const bool merged = cube->MergeChunk(added, k.sameMaterial ? material : &other, k.index);
    EXPECT_EQ(merged, k.merged) << k.ownFlags << " " << k.newFlags << " " << k.index;
    added->ReleaseReference();  // Its geometry was copied; it goes.
  }
  EXPECT_NE(cube->GetChunks()[0].get(), own);  // The instance's own copy grew.
  EXPECT_EQ(cube->GetChunks()[0]->GetNumFaces(), 2 * faces);
  EXPECT_EQ(own->GetNumFaces(), faces);
  EXPECT_EQ(resource->GetDefinition()->GetChunk(0), own);
}

TEST_F(MeshInstanceTest, MaterialsTexturesAndVerticesOfOneInstance) {
  auto resource = Load("cube.im");
  auto cube = Instance(*resource);
  ASSERT_TRUE(cube);
  Kiv::Material* shared = cube->GetMaterials()[0].get();
  ASSERT_TRUE(cube->CloneMaterial(0));
  EXPECT_FALSE(cube->CloneMaterial(2));
  Kiv::Material* own = cube->GetMaterials()[0].get();
  EXPECT_NE(own, shared);
  EXPECT_EQ(resource->GetDefinition()->GetMaterial(0), shared);
  own->SetTexture(0, new Kiv::MaterialTexture, 1.0f);
  struct Case {
    uint32_t chunk, format, displayFormat;
  };
  const Case cases[] = {{0, 1, 5}, {0, 2, 1}, {0, 3, 3}, {0, 5, 0}, {1, 2, 0}, {2, 2, 0}};
  for (const Case& k : cases) {
    own->GetTexture(0)->uploadedFormat = 0;
    const Kiv::Bitmap picture(4, 2, k.format);
    EXPECT_EQ(cube->SetChunkTexture(k.chunk, picture), k.displayFormat != 0) << k.format;
    EXPECT_EQ(own->GetTexture(0)->uploadedFormat, k.chunk == 0 ? k.displayFormat : 0u);
  }
  EXPECT_FALSE(
      cube->SetChunkTextureFromFile(0, Kiv::String("none.png"), Kiv::String(folder_.At(""))));
  // x and y swapped, then moved by (10, 20).
  const Kiv::Matrix3 swap{0, 1, 0, 1, 0, 0, 0, 0, 1};
  std::vector<Vector3> points;
  cube->CollectTransformedVertices(swap, {10, 20}, &points);
  uint32_t vertices = 0;
  for (uint32_t c = 0; c < cube->GetChunkCount(); ++c)
    vertices += cube->GetChunks()[c]->GetNumVertices();
  ASSERT_EQ(points.size(), vertices);
  const float* first = cube->GetChunks()[0]->GetVector3Array(Kiv::GeometryChunk::kPosition)[0];
  EXPECT_EQ(points[0], (Vector3{first[1] + 10, first[0] + 20, first[2]}));
}

TEST_F(MeshInstanceTest, LevelsAreLitOnceWhenMarkedOrWhenForced) {
  auto resource = Load("cube.lm.txt");
  auto lod = Instance<VandruIndexedMeshLODInstance>(*resource);
  ASSERT_TRUE(lod);
  Kiv::DisplayLight sun;
  sun.type = Kiv::DisplayLight::kParallel;
  const Kiv::DisplayLightList scene{&sun};
  lod->SetSceneLights(&scene);
  lod->SetUpdateLighting(true);
  EXPECT_EQ(lod->GetPendingLighting(), 3u);
  struct Step {
    uint32_t level;
    bool force, lit;
    uint32_t pending;
  };
  const Step steps[] = {{1, false, true, 2},
                        {1, false, false, 2},
                        {1, true, true, 2},
                        {3, true, false, 2},
                        {0, false, true, 1}};
  for (const Step& k : steps) {
    EXPECT_EQ(lod->LightLevel(k.level, k.force), k.lit) << k.level << k.force;
    EXPECT_EQ(lod->GetPendingLighting(), k.pending) << k.level << k.force;
  }
  EXPECT_TRUE(lod->GetUpdateLighting());
  lod->LightLevels(false);
  EXPECT_EQ(lod->GetPendingLighting(), 0u);
  EXPECT_FALSE(lod->GetUpdateLighting());
  EXPECT_EQ(lod->GetLights().size(), 1u);
  // The geometry pass sets the lights of each chunk's material when lit.
  Kiv::Display& display = *kernel_.GetDisplay();
  for (bool lit : {false, true}) {
    display.ClearRecord();
    lod->DrawGeometry(&display, nullptr, Kiv::Matrix4{}, &scene, lit);
    EXPECT_EQ(display.GetDraws().size(), 2u);
    size_t lighting = 0;
    for (const Kiv::String& line : display.GetRecord())
      lighting += line.rfind("LightingState", 0) == 0 ? 1 : 0;
    EXPECT_EQ(lighting, lit ? 2u : 0u);
  }
}

TEST_F(MeshInstanceTest, StaticLodChunksReadTheSkeletonCopysBoneMatrices) {
  kernel_.GetDisplay()->SetCapability(VandruIndexedMeshDefinition::kHardwareSkinningCapability,
                                      true);
  MeshSpec palette = SkinnedCube(true);  // Skinned on the display.
  palette.chunks[0].geometry.skinWeights = 2;
  folder_.Put("palette.im", MeshBytes(palette));
  folder_.Put("palette.lm.txt", Levels("palette.im"));
  auto resource = Load("palette.lm.txt");
  auto* lodResource = static_cast<VandruIndexedMeshLODResource*>(resource.get());
  Kiv::GeometryChunk* chunk = lodResource->GetLODDefinition()->levels[0].chunks[0].get();
  ASSERT_GT(chunk->GetNumInfluenceMatrices(), 1u);
  {
    VandruIndexedMeshLODInstance lod(&kernel_);
    lod.BuildLevelInstances(lodResource, *lodResource->GetLODDefinition());
    Kiv::ParticleBone* child = lod.FindByName(Kiv::PString("child"));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(chunk->GetInfluenceMatrix(1), &child->matrix);
    child->position = {0, 7, 0};
    CullAndDraw(lod, 10);
    EXPECT_FLOAT_EQ(chunk->GetInfluenceMatrix(1)->m[13], 7.0f + lod.GetChildren()[0]->position[1]);
  }
  EXPECT_EQ(chunk->GetInfluenceMatrix(1), nullptr);
}

TEST(MeshInstanceSupport, ReferencePointNamesSplitIntoSubNames) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"p.door..left", {"p", "door", "left"}}, {"pfx", {"pfx"}}, {"", {}}, {".p.", {"p"}}};
  for (const auto& [name, parts] : cases) {
    std::vector<std::string> got;
    for (const Kiv::PString& part : Kiv::ReferencePoint::GetSubNames(name))
      got.emplace_back(part.View());
    EXPECT_EQ(got, parts) << name;
  }
}

}  // namespace
