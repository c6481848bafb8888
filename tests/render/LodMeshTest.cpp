// LOD meshes: descriptions, the binary file's round trip and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "kiv/display/GeometryChunk.h"
#include "tests/render/MeshFixtureWriter.h"
#include "tests/render/MeshTestSupport.h"
#include "tests/support/TempFolder.h"

namespace {

using meshfixture::InfluenceSpec;
using meshfixture::MeshSpec;
using Lod = VandruIndexedMeshLODDefinition;

// A level file: the cube at `scale`, bones `root` and `arm` weighting chunk
// 0, attachment points "door:CULL" and "a.light".
std::string LevelBytes(
    float scale,
    std::vector<InfluenceSpec> bones = {{"root", "", {{0, {{0, 1.0f}, {1, 0.5f}}}}},
                                        {"arm", "root", {{0, {{1, 0.5f}}}}}},
    std::vector<std::string> attachments = {"door:CULL", "a.light"}) {
  MeshSpec spec;
  spec.chunks[0].geometry.scale = scale;
  spec.influences = !bones.empty();
  spec.influenceList = std::move(bones);
  spec.attachments = true;
  spec.attachmentNames = std::move(attachments);
  const std::vector<uint8_t> bytes = meshfixture::WriteMesh(spec);
  return std::string(bytes.begin(), bytes.end());
}

constexpr const char* kDescription =
    "version 1.00\n"
    "mesh 0 { name body.im }\n"
    "mesh 50 { name \"body_lo.im\" }  # the far level\n"
    "mesh Collision { name collision.im animated true }\n"
    "offset 0.5\n"
    "calcPoint far\n";

class LodMeshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Put("body.im", LevelBytes(1.0f));
    folder_.Put("body_lo.im", LevelBytes(0.5f));
    folder_.Put("collision.im", LevelBytes(0.25f));
    folder_.Put("fewer.im", LevelBytes(0.5f, {{"root", "", {}}}));
    folder_.Put("renamed.im", LevelBytes(0.5f, {{"root", "", {}}, {"leg", "root", {}}}));
    folder_.Put("bare.im", LevelBytes(0.5f, {{"root", "", {}}, {"arm", "root", {}}}, {"x"}));
  }

  uint32_t Parse(const std::string& text, Lod* lod) {
    return lod->ParseDescription(&meshtest::DisplayWith(false), &meshtest::Manager(), nullptr,
                                 folder_.Put("x.lm.txt", text));
  }

  // The example description, parsed and finished.
  std::unique_ptr<Lod> Example() {
    auto lod = std::make_unique<Lod>();
    EXPECT_EQ(Parse(kDescription, lod.get()), kMeshOk);
    EXPECT_EQ(lod->FinishLoading(nullptr), kMeshOk);
    return lod;
  }

  VUTest::TempFolder folder_{"Lod"};
};

TEST_F(LodMeshTest, DescriptionAssemblesLevelsAndNamedMeshes) {
  const std::unique_ptr<Lod> lod = Example();
  ASSERT_EQ(lod->levels.Count(), 3u);
  EXPECT_EQ(lod->distances, (std::vector<float>{0.0f, 50.0f}));
  ASSERT_EQ(lod->namedMeshes.Count(), 1u);
  EXPECT_EQ(lod->namedMeshes[0].key, Kiv::PString("collision"));
  EXPECT_EQ(lod->namedMeshes[0].levelIndex, 2u);
  EXPECT_EQ(lod->namedMeshes[0].animated, 1);
  EXPECT_EQ(lod->offset, 0.5f);
  EXPECT_EQ(lod->GetAttachments()[0].name, Kiv::PString("door"));
  EXPECT_EQ(lod->culledAttachments, std::vector<Kiv::PString>{Kiv::PString("door")});
  ASSERT_EQ(lod->boneTable.size(), 2u);
  EXPECT_EQ(lod->boneTable[1].parentName, "root");
  EXPECT_EQ(lod->boneTable[0].levels.size(), 3u) << "one influence list per level";
  EXPECT_EQ(lod->GetBoundsMax(), (std::array<float, 3>{1, 1, 1})) << "the widest level's";
  EXPECT_EQ(lod->GetNumVertices(), 24u) << "the last distance level";
  // Equal materials of later levels are level 0's object; level 0 keeps its own.
  const Kiv::Material* first = lod->levels[0].materials[0].get();
  EXPECT_EQ(lod->levels[1].materials[0].get(), first);
  EXPECT_EQ(lod->levels[2].materials[0].get(), first);
  EXPECT_EQ(first->GetTextureDefinitions().size(), 1u);
}

TEST_F(LodMeshTest, SavedFileLoadsAndSavesToTheSameBytes) {
  const std::vector<uint8_t> saved = meshtest::SaveLod(*Example());
  const std::string text(saved.begin(), saved.end());
  EXPECT_NE(text.find("door:Cull"), std::string::npos);
  EXPECT_EQ(text.find("door:CULL"), std::string::npos);
  const auto loaded = meshtest::LoadLod(saved);
  ASSERT_EQ(loaded.result, kMeshOk);
  const Lod& lod = *loaded.mesh;
  EXPECT_EQ(lod.GetAttachments()[0].name, Kiv::PString("door"));
  EXPECT_EQ(lod.GetNumVertices(), 24u);
  EXPECT_EQ(lod.GetBoundsMax(), (std::array<float, 3>{0.5f, 0.5f, 0.5f}))
      << "bounds of the last distance level";
  EXPECT_EQ(meshtest::Tree(lod.GetRootBone()), "root(arm())");
  const std::vector<uint8_t> again = meshtest::SaveLod(lod);
  EXPECT_TRUE(again == saved) << "sizes " << again.size() << " and " << saved.size();
  EXPECT_TRUE(meshtest::SaveLod(*meshtest::LoadLod(again).mesh) == again);
}

TEST_F(LodMeshTest, EachLevelIsSkinnedFromItsInfluenceLists) {
  const auto loaded = meshtest::LoadLod(meshtest::SaveLod(*Example()), true);
  ASSERT_EQ(loaded.result, kMeshOk);
  for (size_t i = 0; i < loaded.mesh->levels.Count(); ++i) {
    const Lod::Level& level = loaded.mesh->levels[i];
    EXPECT_EQ(level.hardwareSkinning, 1) << "two influences at most, two bones";
    Kiv::GeometryChunk& chunk = *level.chunks[0];
    const uint32_t* index = chunk.GetWords(Kiv::GeometryChunk::kBoneIndices);
    const uint32_t* packed = chunk.GetWords(Kiv::GeometryChunk::kPackedWeights);
    ASSERT_TRUE(index != nullptr && packed != nullptr) << i;
    EXPECT_EQ(index[0], 0x0000FE00u) << "root alone";
    EXPECT_EQ(packed[0], 0x000000FFu);
    EXPECT_EQ(index[1], 0x00FE0300u) << "root, then arm";
    EXPECT_EQ(packed[1], 0x00008080u);
    EXPECT_EQ(index[2], 0u);
  }
}

TEST_F(LodMeshTest, DescriptionErrors) {
  const std::string v = "version 1.00\n", body = v + "mesh 0 { name body.im } ";
  struct Case {
    const char* what;
    std::string text;
    uint32_t result = kMeshFileFormatError;
  };
  const Case cases[] = {
      {"named meshes only", v + "mesh col { name body.im }"},
      {"equal distances", v + "mesh 10 { name body.im } mesh 10 { name body_lo.im }"},
      {"a level after a named mesh", body + "mesh col { name body.im } mesh 5 { name body_lo.im }"},
      {"named keys differing in case",
       body + "mesh Col { name body.im } mesh col { name body_lo.im }"},
      {"version 0.999", "version 0.999\nmesh 0 { name body.im }", kMeshFileVersionError},
      {"a later level with fewer bones", body + "mesh 9 { name fewer.im }"},
      {"a later level without a bone of the table", body + "mesh 9 { name renamed.im }"},
      {"a later level with other attachment points", body + "mesh 9 { name bare.im }"},
      {"a level without a name", v + "mesh 0 { animated true }"},
      {"a named mesh without a name", body + "mesh col { animated 1 }"},
      {"a name leaving the folder", v + "mesh 0 { name ../body.im }"},
      {"a missing level file", v + "mesh 0 { name missing.im }", kMeshFileOpenError},
      {"text the parser refuses", v + "mesh 0 { name body.im", kMeshFileOpenError},
      {"no version", "mesh 0 { name body.im }", kMeshFileOpenError},
  };
  for (const Case& c : cases) {
    Lod lod;
    EXPECT_EQ(Parse(c.text, &lod), c.result) << c.what;
  }
}

TEST_F(LodMeshTest, DescriptionSettings) {
  struct Case {
    const char* text;
    uint32_t calcPoint;
    size_t levels;
  };
  const Case cases[] = {
      {"calcPoint FAR\nmesh 0 { name body.im }", Lod::kFar, 1},
      {"calcPoint sideways\nmesh 0 { name body.im }", Lod::kCenter, 1},
      {"mesh 0 { name body.im } mesh 5 { name body_lo.im } mesh lo { name body_lo.im }",
       Lod::kCenter, 2},
  };
  for (const Case& c : cases) {
    Lod lod;
    ASSERT_EQ(Parse(std::string("version 1\n") + c.text, &lod), kMeshOk) << c.text;
    EXPECT_EQ(lod.calcPoint, c.calcPoint) << c.text;
    EXPECT_EQ(lod.levels.Count(), c.levels) << c.text;
  }
  Lod reused;
  ASSERT_EQ(Parse(std::string("version 1\n") + cases[2].text, &reused), kMeshOk);
  EXPECT_EQ(reused.namedMeshes[0].levelIndex, 1u) << "the named mesh shares the level's file";
}

using Bytes = std::vector<uint8_t>;

size_t Find(const Bytes& bytes, const char* tag) {
  return size_t(std::search(bytes.begin(), bytes.end(), tag, tag + 4) - bytes.begin());
}

void SetWord(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}

// The example changed by `change`, saved, patched by `patch` and loaded.
TEST_F(LodMeshTest, BinaryFileRules) {
  struct Case {
    const char* what;
    void (*change)(Lod&);
    void (*patch)(Bytes&);
    uint32_t result = kMeshFileFormatError;
  };
  const Case cases[] = {
      {"equal distances load", [](Lod& l) { l.distances[1] = 0.0f; }, nullptr, kMeshOk},
      {"a level without distance needs a named mesh",
       [](Lod& l) { l.namedMeshes = Kiv::CountedBlock<Lod::NamedMesh>::Make(0); }, nullptr},
      {"a named mesh of a level that does not exist",
       [](Lod& l) { l.namedMeshes[0].levelIndex = 7; }, nullptr},
      {"an index equal to its chunk's vertex count",
       [](Lod& l) {
         Kiv::GeometryChunk& chunk = *l.levels[0].chunks[0];
         chunk.GetIndexArray()[0] = uint16_t(chunk.GetNumVertices());
       },
       nullptr},
      {"a file size that does not match", nullptr,
       [](Bytes& b) { SetWord(b, 4, uint32_t(b.size())); }},
      {"MATL version 102", nullptr, [](Bytes& b) { SetWord(b, Find(b, "MATL") + 8, 102); },
       kMeshFileVersionError},
      {"MATL version 104", nullptr, [](Bytes& b) { SetWord(b, Find(b, "MATL") + 8, 104); },
       kMeshFileVersionError},
      {"a material index past the table", nullptr,
       [](Bytes& b) { SetWord(b, Find(b, "LCHK") + 16, 1); }},
      {"the unknown-material index", nullptr,
       [](Bytes& b) { SetWord(b, Find(b, "LCHK") + 16, 0xFFFFFFFFu); }},
      {"a huge level count", nullptr,
       [](Bytes& b) { SetWord(b, Find(b, "INFO") + 12 + 28, 0x40000000u); }},
  };
  for (const Case& c : cases) {
    const std::unique_ptr<Lod> lod = Example();
    if (c.change != nullptr) c.change(*lod);
    Bytes bytes;
    ASSERT_EQ(lod->Save(&bytes), kMeshOk) << c.what;
    if (c.patch != nullptr) c.patch(bytes);
    EXPECT_EQ(meshtest::LoadLod(bytes).result, c.result) << c.what;
  }
}

TEST_F(LodMeshTest, EveryCutOfAFileIsRefused) {
  const std::vector<uint8_t> saved = meshtest::SaveLod(*Example());
  EXPECT_EQ(meshtest::LoadLod({}).result, kMeshFileOpenError);
  Lod unmanaged;
  EXPECT_EQ(unmanaged.Load(nullptr, nullptr, folder_.At("body.im")), kMeshNoMaterialManager);
  EXPECT_EQ(unmanaged.levels.Count(), 0u);
  for (size_t size = 1; size < saved.size(); ++size) {
    const std::vector<uint8_t> cut(saved.begin(), saved.begin() + long(size));
    ASSERT_EQ(meshtest::LoadLod(cut).result, kMeshFileFormatError) << size;
  }
}

TEST_F(LodMeshTest, EmptyChunkDisappearsFromItsLevel) {
  const std::unique_ptr<Lod> lod = Example();
  Lod::Level& level = lod->levels[0];
  Kiv::StandardChunkHint hint(2, 2);
  level.chunks.Items().emplace_back(Kiv::GeometryChunk::Create(4, 0, 0, 0, 0, hint));
  level.materials.Items().push_back(level.materials[0]);
  level.materialNames.emplace_back("empty");
  ++level.chunkCount;
  const auto loaded = meshtest::LoadLod(meshtest::SaveLod(*lod));
  ASSERT_EQ(loaded.result, kMeshOk);
  EXPECT_EQ(loaded.mesh->levels[0].chunkCount, 1u);
  EXPECT_EQ(loaded.mesh->levels[0].chunks.Count(), 1u);
}

TEST_F(LodMeshTest, SaveRefusesWhatItCannotWrite) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(Lod().Save(&bytes), kMeshUnknown) << "no levels";
  std::unique_ptr<Lod> lod = Example();
  lod->levels[1].materials[0].reset();
  EXPECT_EQ(lod->Save(&bytes), kMeshFileDataError) << "a chunk without a material";
  lod = Example();
  lod->levels[1].chunks[0].reset();
  EXPECT_EQ(lod->Save(&bytes), kMeshFileDataError) << "a slot without geometry";
  EXPECT_EQ(Example()->SaveToPath(folder_.At("out.lm")), kMeshOk);
  EXPECT_EQ(Example()->SaveToPath(folder_.At("no/such/folder/out.lm")), kMeshFileOpenError);
}

}  // namespace
