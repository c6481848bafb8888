// The indexed mesh reader on files written by the test-side writer
// (MeshFixtureWriter.h), which follows the format description on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "kiv/ResourceDatabase.h"
#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/store/Resource.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"
#include "tests/render/MeshFixtureWriter.h"
#include "tests/render/MeshTestSupport.h"

namespace {

using meshfixture::MeshSpec;

constexpr uint32_t kDefaultColour = 0xFFAABBCC;

using TestManager = meshtest::FailingManager;

struct Loaded {
  uint32_t result;
  std::unique_ptr<VandruIndexedMeshDefinition> mesh;
};

Loaded Load(const std::vector<uint8_t>& bytes, TestManager* manager = nullptr,
            bool substitutes = false) {
  static TestManager plain;
  static Kiv::ResourceDatabase database(Kiv::PString("db"));
  Kiv::Ref<Kiv::Resource> resource(
      new Kiv::Resource(Kiv::PString("trains/loco/body.im"), &database));
  Loaded loaded{0, std::make_unique<VandruIndexedMeshDefinition>()};
  loaded.mesh->GetMemoryFile().Assign(bytes.data(), bytes.size());
  loaded.mesh->settings.substituteMaterials = substitutes;
  loaded.result =
      loaded.mesh->Load(nullptr, manager ? manager : &plain, resource.get(), 0, kDefaultColour);
  return loaded;
}

uint32_t LoadResult(const MeshSpec& spec) {
  return Load(meshfixture::WriteMesh(spec)).result;
}

MeshSpec Everything() {
  MeshSpec spec;
  spec.influences = true;
  spec.skeleton = false;
  spec.attachments = true;
  return spec;
}

TEST(IndexedMeshReader, CubeWithInfluencesAndAttachmentsLoadsWhole) {
  const Loaded loaded = Load(meshfixture::WriteMesh(Everything()));
  ASSERT_EQ(loaded.result, kMeshOk);
  VandruIndexedMeshDefinition& mesh = *loaded.mesh;
  EXPECT_FALSE(mesh.GetMemoryFile().HasData()) << "closed after a good load";
  EXPECT_EQ(mesh.GetPosition(), (std::array<float, 3>{1, 2, 3}));
  ASSERT_EQ(mesh.GetNumChunks(), 1u);
  EXPECT_EQ(mesh.GetNumVertices(), 24u);
  EXPECT_EQ(mesh.GetNumFaces(), 12u);
  Kiv::GeometryChunk& chunk = *mesh.GetChunk(0);
  EXPECT_EQ(chunk.GetKind(), 0u) << "primitive 4";
  const float* position = chunk.GetFloats(Kiv::GeometryChunk::kPosition);
  EXPECT_EQ(std::vector<float>(position + 9, position + 12), (std::vector<float>{1, 1, -1}))
      << "vertex 3";
  const float* uv = chunk.GetFloats(Kiv::GeometryChunk::kTexCoord0);
  EXPECT_FLOAT_EQ(uv[10], 5.0f / 32.0f) << "vertex 5, one set for version 201";
  EXPECT_EQ(chunk.GetFloats(Kiv::GeometryChunk::kTexCoord0 + 1), nullptr);
  EXPECT_EQ(chunk.GetIndexArray()[35], 23);
  EXPECT_FLOAT_EQ(chunk.GetFloats(Kiv::GeometryChunk::kNormal)[4], 1.0f);
  EXPECT_FLOAT_EQ(chunk.GetFaceNormalArray()[35], -1.0f);
  EXPECT_EQ(chunk.GetFaceNeighbors()[11].faces[2], 35u);

  const Kiv::Material& material = *mesh.GetMaterial(0);
  EXPECT_EQ(material.GetRequestName(), Kiv::PString("db*trains/loco*tbumptex"));
  EXPECT_EQ(material.GetFlags() & Kiv::Material::kTwoSided, Kiv::Material::kTwoSided);
  EXPECT_FLOAT_EQ(material.GetFactor(), 0.75f);
  EXPECT_EQ(material.GetProperties().at(0).second, Kiv::PString("0.5"));
  const Kiv::DisplayMaterial& colours = material.GetDisplayMaterial();
  EXPECT_EQ(colours.emissive, (Kiv::Color{0.25f, 0.5f, 0.125f, 0.5f})) << "halved, alpha too";
  EXPECT_FLOAT_EQ(colours.power, 40.0f);
  ASSERT_EQ(mesh.GetBindings().size(), 1u);
  EXPECT_EQ(mesh.GetBindings()[0].textures[0].name, Kiv::PString("body\\paint.texture"));

  ASSERT_EQ(mesh.GetInfluences().size(), 2u);
  const Kiv::InfluenceDefinition& arm = mesh.GetInfluences()[1];
  EXPECT_EQ(arm.parentName, Kiv::PString("root"));
  ASSERT_EQ(arm.groups.size(), 1u) << "the empty group is dropped";
  EXPECT_EQ(arm.groups[0].entries[0].index, 3u);
  ASSERT_EQ(mesh.GetAttachments().size(), 1u);
  EXPECT_FLOAT_EQ(mesh.GetAttachments()[0].position[2], 11.0f);
}

TEST(IndexedMeshReader, SkeletonBecomesBoneTree) {
  MeshSpec spec;
  spec.skeleton = true;
  for (uint32_t version : {1u, 20u, 50u, 100u, 102u}) {
    spec.boneVersion = version;
    const Loaded loaded = Load(meshfixture::WriteMesh(spec));
    ASSERT_EQ(loaded.result, kMeshOk) << version;
    const Kiv::ParticleBone* root = loaded.mesh->GetRootBone();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name, Kiv::PString("root"));
    ASSERT_EQ(root->Children().size(), 1u);
    EXPECT_EQ(root->Children()[0]->name, Kiv::PString("child"));
    EXPECT_FLOAT_EQ(root->visibleBox.max[0], 0.01f);
  }
}

TEST(IndexedMeshReader, VersionRulesOfMaterialAndGeometry) {
  struct Case {
    uint32_t matl;
    float power;
    uint32_t geom;
    float wantPower;
    bool blackSpecular;
    bool secondSet;
    bool fileColours;
  };
  const Case cases[] = {
      {102, 40.0f, 101, 10.0f, true, false, false},  {103, 4.0f, 102, 10.0f, false, false, false},
      {103, 40.0f, 150, 40.0f, false, true, true},   {103, 40.0f, 199, 40.0f, false, true, true},
      {103, 40.0f, 200, 40.0f, false, false, false}, {103, 40.0f, 103, 40.0f, false, true, false},
  };
  for (const Case& c : cases) {
    MeshSpec spec;
    spec.chunks[0].material.version = c.matl;
    spec.chunks[0].material.power = c.power;
    spec.chunks[0].geometry.version = c.geom;
    const Loaded loaded = Load(meshfixture::WriteMesh(spec));
    ASSERT_EQ(loaded.result, kMeshOk) << c.geom;
    const Kiv::DisplayMaterial& colours = loaded.mesh->GetMaterial(0)->GetDisplayMaterial();
    EXPECT_FLOAT_EQ(colours.power, c.wantPower) << c.matl;
    EXPECT_EQ(colours.specular == (Kiv::Color{0, 0, 0, 0}), c.blackSpecular) << c.matl;
    Kiv::GeometryChunk& chunk = *loaded.mesh->GetChunk(0);
    const float* second = chunk.GetFloats(Kiv::GeometryChunk::kTexCoord0 + 1);
    EXPECT_EQ(second != nullptr, c.secondSet) << c.geom;
    if (second != nullptr) {
      EXPECT_FLOAT_EQ(second[1], 1.0f) << c.geom;
    }
    EXPECT_EQ(chunk.GetWords(Kiv::GeometryChunk::kColor)[0],
              c.fileColours ? 0xFF336699 : kDefaultColour)
        << c.geom;
  }
  MeshSpec old;
  old.infoVersion = 103;
  EXPECT_EQ(LoadResult(old), kMeshOk) << "no trailing floats before 104";
}

// Interleaved vertex records of one, two and three texture sets, in counts
// that end inside a group of four records and past a piece of records:
// every position and texture pair lands at its vertex.
TEST(IndexedMeshReader, VertexRecordsAreScatteredToTheirVertices) {
  const struct {
    uint32_t version, sets, vertices;
  } cases[] = {{150, 2, 7}, {150, 2, 2053}, {150, 1, 1030}, {150, 3, 1029}, {201, 1, 9}};
  for (const auto& c : cases) {
    MeshSpec spec;
    meshfixture::GeometrySpec& g = spec.chunks[0].geometry;
    g.version = c.version;
    g.sets = c.sets;
    g.vertices = c.vertices;
    g.indices = {0, 1, 2};
    g.faces = g.faceNormals = 1;
    spec.chunks[0].neighbours = false;
    for (uint32_t v = 0; v < c.vertices; ++v) {
      g.positions.insert(g.positions.end(), {float(v), -float(v) - 0.5f, float(v) * 4.0f + 0.25f});
      g.texCoords.insert(g.texCoords.end(), {float(v) * 0.5f, -float(v)});
    }
    const Loaded loaded = Load(meshfixture::WriteMesh(spec));
    ASSERT_EQ(loaded.result, kMeshOk) << c.vertices;
    Kiv::GeometryChunk& chunk = *loaded.mesh->GetChunk(0);
    const float* position = chunk.GetFloats(Kiv::GeometryChunk::kPosition);
    ASSERT_NE(position, nullptr);
    EXPECT_TRUE(std::equal(g.positions.begin(), g.positions.end(), position)) << c.vertices;
    const float* first = chunk.GetFloats(Kiv::GeometryChunk::kTexCoord0);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(std::equal(g.texCoords.begin(), g.texCoords.end(), first)) << c.vertices;
    // The writer's pairs of the later sets: (v / 32 + set, set).
    for (uint32_t set = 1; set < c.sets; ++set) {
      const float* pairs = chunk.GetFloats(Kiv::GeometryChunk::kTexCoord0 + set);
      ASSERT_NE(pairs, nullptr) << set;
      for (uint32_t v = 0; v < c.vertices; ++v) {
        ASSERT_EQ(pairs[2 * v], float(v) / 32.0f + float(set)) << c.vertices << " " << v;
        ASSERT_EQ(pairs[2 * v + 1], float(set)) << c.vertices << " " << v;
      }
    }
  }
}

TEST(IndexedMeshReader, UnknownVersionsAreRefused) {
  const std::vector<std::function<void(MeshSpec&)>> changes = {
      [](MeshSpec& s) { s.infoVersion = 99; },
      [](MeshSpec& s) { s.infoVersion = 105; },
      [](MeshSpec& s) { s.chunks[0].material.version = 101; },
      [](MeshSpec& s) { s.chunks[0].material.version = 104; },
      [](MeshSpec& s) { s.chunks[0].geometry.version = 100; },
      [](MeshSpec& s) { s.chunks[0].geometry.version = 202; },
      [](MeshSpec& s) { s.chunks[0].neighbourVersion = 101; },
      [](MeshSpec& s) { s.skeleton = true, s.boneVersion = 2; },
      [](MeshSpec& s) { s.attachments = true, s.attachmentVersion = 101; },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    MeshSpec spec;
    changes[i](spec);
    EXPECT_EQ(LoadResult(spec), kMeshFileVersionError) << "case " << i;
  }
}

TEST(IndexedMeshReader, DamagedFilesAreRefused) {
  const std::vector<std::function<void(MeshSpec&)>> changes = {
      [](MeshSpec& s) { s.chunks[0].geometry.primitive = 3; },
      [](MeshSpec& s) { s.chunks[0].geometry.indices[7] = 24; },
      [](MeshSpec& s) { s.chunks[0].geometry.indices[34] = 0xFFFF; },
      [](MeshSpec& s) {  // a bad index among the last of a count not a multiple of 4
        s.chunks[0].geometry.indices.insert(s.chunks[0].geometry.indices.end(), {0, 1, 24});
        s.chunks[0].geometry.faces = 13;
      },
      [](MeshSpec& s) { s.attachments = true, s.trailingTag = "JUNK"; },
      [](MeshSpec& s) { s.chunkCount = 2; },
      [](MeshSpec& s) { s.chunkCount = 0xFFFFFFFF; },
      [](MeshSpec& s) { s.influences = true, s.influenceCount = 1024; },
      [](MeshSpec& s) { s.influences = true, s.influenceCount = 3; },
      [](MeshSpec& s) { s.chunks[0].geometry.vertexField = 0xFFFFFFFF; },
      [](MeshSpec& s) { s.chunks[0].geometry.faceNormalField = 0x40000000; },
      [](MeshSpec& s) { s.chunks[0].geometry.vertexField = 25; },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    MeshSpec spec;
    changes[i](spec);
    const Loaded loaded = Load(meshfixture::WriteMesh(spec));
    EXPECT_EQ(loaded.result, kMeshFileFormatError) << "case " << i;
    // A chunk refused for its indices is not kept half read.
    if (i >= 1 && i <= 3) {
      EXPECT_EQ(loaded.mesh->GetChunk(0), nullptr) << "case " << i;
    }
  }
  std::vector<uint8_t> bytes = meshfixture::WriteMesh(MeshSpec{});
  for (size_t at : {size_t(0), size_t(8)}) {
    std::vector<uint8_t> bad = bytes;
    bad[at] ^= 0x20;
    EXPECT_EQ(Load(bad).result, kMeshFileFormatError) << "tag at " << at;
  }
}

TEST(IndexedMeshReader, CutFileIsRefusedAtEveryLength) {
  MeshSpec spec = Everything();
  spec.chunks.push_back(spec.chunks[0]);
  spec.chunks[1].geometry.version = 150;
  const std::vector<uint8_t> bytes = meshfixture::WriteMesh(spec);
  ASSERT_EQ(Load(bytes).result, kMeshOk);
  EXPECT_EQ(Load({}).result, kMeshFileOpenError);
  for (size_t length = 1; length < bytes.size(); ++length) {
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
    ASSERT_EQ(Load(cut).result, kMeshFileFormatError)
        << "cut at " << length << " of " << bytes.size();
  }
}

TEST(IndexedMeshReader, EmptyChunkIsDroppedAndLaterChunksKeepTheirOrder) {
  MeshSpec spec;
  spec.chunks.resize(3);
  for (int i = 0; i < 3; ++i) spec.chunks[i].geometry.name = "c" + std::to_string(i);
  spec.chunks[1].geometry.indices.clear();
  const Loaded loaded = Load(meshfixture::WriteMesh(spec));
  ASSERT_EQ(loaded.result, kMeshOk);
  ASSERT_EQ(loaded.mesh->GetNumChunks(), 2u);
  EXPECT_EQ(loaded.mesh->GetChunkNames(),
            (std::vector<Kiv::PString>{Kiv::PString("c0"), Kiv::PString("c2")}));
  EXPECT_EQ(loaded.mesh->GetBindings().back().chunk, 1u);
  EXPECT_EQ(loaded.mesh->GetNumFaces(), 24u);
}

TEST(IndexedMeshReader, MissingManagerDataOrMaterialsGiveTheirResults) {
  const std::vector<uint8_t> bytes = meshfixture::WriteMesh(MeshSpec{});
  VandruIndexedMeshDefinition mesh;
  mesh.GetMemoryFile().Assign(bytes.data(), bytes.size());
  EXPECT_EQ(mesh.Load(nullptr, nullptr, nullptr, 0, 0), kMeshNoMaterialManager);
  TestManager manager;
  manager.failure = Kiv::MaterialManager::kUnsupported;
  EXPECT_EQ(Load(bytes, &manager).result, kMeshUnsupportedMaterial);
  manager.failure = Kiv::MaterialManager::kUnknownKind;
  EXPECT_EQ(Load(bytes, &manager).result, kMeshUnknownMaterial);
  manager.failure = 0;
  manager.emptyChunks = true;
  EXPECT_EQ(Load(bytes, &manager).result, kMeshFailChunkCreate);
}

// A kind the manager cannot make is replaced by the substitute the manager
// names for it only when the settings allow it; the substitute keeps the
// decorated name first asked for. Without a substitute, or with one that
// cannot be made either, the material is unknown (7).
TEST(IndexedMeshReader, UnmadeMaterialKindIsSubstitutedOnlyWhenAllowed) {
  const std::vector<uint8_t> bytes = meshfixture::WriteMesh(MeshSpec{});
  const struct {
    const char* label;
    bool allowed;
    const char* substitute;
    uint32_t failure;
    uint32_t result;
  } cases[] = {
      {"not allowed", false, "onetex", Kiv::MaterialManager::kUnsupported,
       kMeshUnsupportedMaterial},
      {"not allowed, unknown", false, "onetex", Kiv::MaterialManager::kUnknownKind,
       kMeshUnknownMaterial},
      {"allowed", true, "onetex", Kiv::MaterialManager::kUnsupported, kMeshOk},
      {"allowed, none named", true, "", Kiv::MaterialManager::kUnsupported, kMeshUnknownMaterial},
      {"allowed, substitute fails too", true, "tbumptex", Kiv::MaterialManager::kUnsupported,
       kMeshUnknownMaterial},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.label);
    TestManager manager;
    manager.failure = row.failure;
    manager.failingKind = Kiv::PString("tbumptex");
    manager.SetSubstituteKind(Kiv::PString("tbumptex"), Kiv::PString(row.substitute));
    const Loaded loaded = Load(bytes, &manager, row.allowed);
    ASSERT_EQ(loaded.result, row.result);
    if (row.result != kMeshOk) continue;
    const Kiv::Material* material = loaded.mesh->GetMaterial(0);
    EXPECT_EQ(material->GetKind().Str(), "onetex");
    EXPECT_EQ(material->GetRequestName().Str(), "db*trains/loco*tbumptex");
    EXPECT_EQ(material->GetFactor(), 0.75f);
  }
}

// The accessors answer what the file says of its skinning; the display's
// bone limit is another value.
TEST(IndexedMeshReader, SkinningMaximaAnswerTheFileValues) {
  MeshSpec spec = Everything();
  spec.maxWeights = 3;
  spec.maxBones = 12;
  const Loaded loaded = Load(meshfixture::WriteMesh(spec));
  ASSERT_EQ(loaded.result, kMeshOk);
  const Kiv::MeshFileSupport& support = *loaded.mesh;
  EXPECT_EQ(support.GetMaxWeightsPerVertex(), spec.maxWeights);
  EXPECT_EQ(support.GetMaxBonesPerChunk(), spec.maxBones);
  EXPECT_EQ(loaded.mesh->GetBonesLimitPerChunk(), 25u);
}

}  // namespace
