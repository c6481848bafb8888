// Text meshes ("imtxt"): the same mesh as its binary form, as a LOD level,
// and the result of every refusal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kiv/display/GeometryChunk.h"
#include "tests/render/MeshFixtureWriter.h"
#include "tests/render/MeshTestSupport.h"
#include "tests/support/TempFolder.h"

namespace {

using meshfixture::MeshSpec;

std::string Numbers(const std::vector<float>& values) {
  std::string text;
  for (float value : values) text += (text.empty() ? "" : " ") + std::to_string(value);
  return "\"" + text + "\"";
}

// The fixture writer's cube (one texture set, no neighbours, no extra
// vectors) with two bones and attachments "door:CULL" and "a.light".
MeshSpec CubeSpec() {
  MeshSpec spec;
  spec.chunks[0].neighbours = false;
  spec.chunks[0].geometry.extraFlags = 0;
  spec.influences = true;
  spec.influenceList = {{"root", "", {{0, {{0, 1.0f}, {1, 0.5f}}}}},
                        {"arm", "root", {{0, {{1, 0.5f}}}}}};
  spec.attachments = true;
  spec.attachmentNames = {"door:CULL", "a.light"};
  return spec;
}

// The same cube as text; `chunkBody` is added to the chunk's block.
std::string CubeText(const std::string& chunkBody = "") {
  std::vector<float> positions, texCoords, normals, faceNormals;
  for (uint32_t v = 0; v < 24; ++v) {
    for (int axis = 0; axis < 3; ++axis) positions.push_back(meshfixture::Position(v, axis));
    texCoords.insert(texCoords.end(), {float(v) / 32.0f, 0.0f});
    normals.insert(normals.end(), {0.0f, 1.0f, 0.0f});
  }
  for (int f = 0; f < 12; ++f) faceNormals.insert(faceNormals.end(), {0.0f, 0.0f, -1.0f});
  std::string indices;
  for (uint16_t i : meshfixture::CubeIndices()) indices += std::to_string(i) + " ";
  const std::string identity = " orientation \"1 0 0 0 1 0 0 0 1\" position \"0.5 1 1.5\" ";
  return "version 1.00\nposition \"1 2 3\"\norientation \"0 0 0 1\"\n"
         "chunk body {\n material { kind tbumptex twoSided true factor 0.75\n"
         "  diffuse \"0.5 0.25 1\" ambient \"0.25 0.125 0.5\" specular \"0.1 0.2 0.3\"\n"
         "  emissive \"0.25 0.5 0.125\" power 40\n  property Gloss { value 0.5 }\n"
         "  texture \"Body\\\\Paint.TEXTURE\" { kind 1 amount 1 } }\n"
         " hintValue 0.5\n positions " + Numbers(positions) + "\n texCoords " +
         Numbers(texCoords) + "\n normals " + Numbers(normals) + "\n indices \"" + indices +
         "\"\n faceNormals " + Numbers(faceNormals) + "\n" + chunkBody + "}\n"
         "influence root {" + identity + "group 0 { entries \"0 1 0 0 0 1 0.5 0 0 0\" } }\n"
         "influence arm { parent root" + identity + "group 0 { entries \"1 0.5 0 0 0\" } }\n"
         "attachment door:CULL { orientation \"0 1 2 3 4 5 6 7 8\" position \"9 10 11\" }\n"
         "attachment a.light { orientation \"0 1 2 3 4 5 6 7 8\" position \"9 10 11\" }\n";
}

class TextMeshTest : public ::testing::Test {
 protected:
  uint32_t LoadText(const std::string& text, VandruIndexedMeshDefinition* mesh,
                    Kiv::MaterialManager* manager = &meshtest::Manager()) {
    return mesh->LoadText(&meshtest::DisplayWith(false), manager, nullptr, 0, 0xFFFFFFFF,
                          folder_.Put("cube.imtxt", text));
  }

  VUTest::TempFolder folder_{"TextMesh"};
};

void ExpectSameColour(const Kiv::Color& a, const Kiv::Color& b) {
  EXPECT_EQ(a.r, b.r);
  EXPECT_EQ(a.g, b.g);
  EXPECT_EQ(a.b, b.b);
}

TEST_F(TextMeshTest, TextLoadsToTheSameDefinitionAsTheBinaryFile) {
  const auto binary = meshtest::LoadIndexed(meshfixture::WriteMesh(CubeSpec()));
  ASSERT_EQ(binary.result, kMeshOk);
  VandruIndexedMeshDefinition text;
  ASSERT_EQ(LoadText(CubeText(), &text), kMeshOk);
  const VandruIndexedMeshDefinition& bin = *binary.mesh;
  EXPECT_EQ(text.GetName().Str(), "cube.imtxt");
  EXPECT_EQ(text.GetPosition(), bin.GetPosition());
  EXPECT_EQ(text.GetBoundsMax(), bin.GetBoundsMax());
  EXPECT_EQ(text.GetBoundsMin(), bin.GetBoundsMin());
  EXPECT_EQ(text.GetTextureScale(), bin.GetTextureScale());
  ASSERT_EQ(text.GetNumChunks(), 1u);
  EXPECT_EQ(text.GetNumVertices(), bin.GetNumVertices());
  EXPECT_EQ(text.GetNumFaces(), bin.GetNumFaces());
  EXPECT_EQ(text.GetChunkNames(), bin.GetChunkNames());
  Kiv::GeometryChunk& a = *text.GetChunk(0);
  Kiv::GeometryChunk& b = *bin.GetChunk(0);
  EXPECT_EQ(std::memcmp(a.GetIndexArray(), b.GetIndexArray(), 72), 0);
  for (uint32_t element : {Kiv::GeometryChunk::kPosition, Kiv::GeometryChunk::kNormal,
                           Kiv::GeometryChunk::kTexCoord0}) {
    for (uint32_t v = 0; v < 24; ++v)
      EXPECT_EQ(std::memcmp(a.GetItemArray(element)[v], b.GetItemArray(element)[v], 8), 0);
  }
  EXPECT_EQ(*a.GetColorArray(Kiv::GeometryChunk::kColor)[5], 0xFFFFFFFFu);
  EXPECT_EQ(std::memcmp(a.GetFaceNormalArray(), b.GetFaceNormalArray(), 12 * 12), 0);

  const Kiv::Material& ma = *text.GetMaterial(0);
  const Kiv::Material& mb = *bin.GetMaterial(0);
  EXPECT_EQ(ma.GetKind(), mb.GetKind());
  EXPECT_EQ(ma.GetFlags(), mb.GetFlags());
  EXPECT_EQ(ma.GetFactor(), mb.GetFactor());
  EXPECT_EQ(ma.GetProperties(), mb.GetProperties());
  ExpectSameColour(ma.GetDisplayMaterial().diffuse, mb.GetDisplayMaterial().diffuse);
  ExpectSameColour(ma.GetDisplayMaterial().ambient, mb.GetDisplayMaterial().ambient);
  ExpectSameColour(ma.GetDisplayMaterial().specular, mb.GetDisplayMaterial().specular);
  ExpectSameColour(ma.GetDisplayMaterial().emissive, mb.GetDisplayMaterial().emissive);
  EXPECT_EQ(ma.GetDisplayMaterial().power, mb.GetDisplayMaterial().power);
  ASSERT_EQ(text.GetBindings().size(), 1u);
  ASSERT_EQ(text.GetBindings()[0].textures.size(), 1u);
  EXPECT_EQ(text.GetBindings()[0].textures[0].name.Str(), "body\\paint.texture");

  ASSERT_EQ(text.GetInfluences().size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const Kiv::InfluenceDefinition& x = text.GetInfluences()[i];
    const Kiv::InfluenceDefinition& y = bin.GetInfluences()[i];
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.parentName, y.parentName);
    EXPECT_EQ(x.position, y.position);
    EXPECT_EQ(x.orientation, y.orientation);
    ASSERT_EQ(x.groups.size(), y.groups.size());
    EXPECT_EQ(x.groups[0].entries.size(), y.groups[0].entries.size());
    EXPECT_EQ(x.groups[0].entries.back().values, y.groups[0].entries.back().values);
  }
  EXPECT_EQ(meshtest::Tree(text.GetRootBone()), meshtest::Tree(bin.GetRootBone()));
  ASSERT_EQ(text.GetAttachments().size(), 2u);
  EXPECT_EQ(text.GetAttachments()[0].name, bin.GetAttachments()[0].name);
  EXPECT_EQ(text.GetAttachments()[1].orientation, bin.GetAttachments()[1].orientation);
  EXPECT_EQ(text.GetAttachments()[1].position, bin.GetAttachments()[1].position);
}

TEST_F(TextMeshTest, LodLevelInTextSavesLikeTheBinaryLevel) {
  const std::vector<uint8_t> bytes = meshfixture::WriteMesh(CubeSpec());
  folder_.Put("body.im", std::string(bytes.begin(), bytes.end()));
  folder_.Put("body.imtxt", CubeText());
  std::vector<uint8_t> saved[2];
  for (int i = 0; i < 2; ++i) {
    VandruIndexedMeshLODDefinition lod;
    const std::string level = i == 0 ? "body.im" : "body.imtxt";
    ASSERT_EQ(lod.ParseDescription(&meshtest::DisplayWith(false), &meshtest::Manager(), nullptr,
                                   folder_.Put("x.lm.txt", "version 1.00\nmesh 0 { name " +
                                                               level + " }\n")),
              kMeshOk)
        << level;
    saved[i] = meshtest::SaveLod(lod);
  }
  ASSERT_FALSE(saved[0].empty());
  EXPECT_TRUE(saved[0] == saved[1]);
}

TEST_F(TextMeshTest, EachRefusalHasItsResult) {
  struct Case {
    const char* what;
    std::string text;
    uint32_t result;
  };
  const std::string v = "version 1.00\n";
  std::string manyBones = CubeText();
  for (int i = 0; i < 1022; ++i) manyBones += "influence x { }\n";
  const Case cases[] = {
      {"text the parser refuses", v + "chunk body {", kMeshFileFormatError},
      {"nothing but a version", v, kMeshFileFormatError},
      {"version 2", "version 2\n" + CubeText().substr(v.size()), kMeshFileVersionError},
      {"no chunk", v + "position \"1 2 3\"", kMeshFileFormatError},
      {"a position list cut short", v + "chunk a { material { kind x } positions \"1 2\" "
                                        "indices \"0 0 0\" }", kMeshFileFormatError},
      {"an index past the vertices", v + "chunk a { material { kind x } positions \"1 2 3\" "
                                         "indices \"0 0 1\" }", kMeshFileFormatError},
      {"faces cut short", v + "chunk a { material { kind x } positions \"1 2 3\" "
                              "indices \"0 0\" }", kMeshFileFormatError},
      {"texture coordinates of another count",
       v + "chunk a { material { kind x } positions \"1 2 3\" texCoords \"1\" indices \"0 0 0\" }",
       kMeshFileFormatError},
      {"a chunk without a material", v + "chunk a { positions \"1 2 3\" indices \"0 0 0\" }",
       kMeshFileFormatError},
      {"an influence on a missing chunk",
       CubeText() + "influence x { group 3 { entries \"0 1 0 0 0\" } }", kMeshFileFormatError},
      {"an influence entry past the vertices",
       CubeText() + "influence x { group 0 { entries \"24 1 0 0 0\" } }", kMeshFileFormatError},
      {"more than 1023 influences", manyBones, kMeshFileFormatError},
      {"five skin weights", CubeText(" skinWeights 5\n"), kMeshFileFormatError},
      {"an attachment without a name", CubeText() + "attachment { position \"1 2 3\" }",
       kMeshFileFormatError},
  };
  for (const Case& c : cases) {
    VandruIndexedMeshDefinition mesh;
    EXPECT_EQ(LoadText(c.text, &mesh), c.result) << c.what;
  }
  VandruIndexedMeshDefinition mesh;
  EXPECT_EQ(mesh.LoadText(nullptr, &meshtest::Manager(), nullptr, 0, 0, folder_.At("none.imtxt")),
            kMeshFileOpenError);
  EXPECT_EQ(LoadText(CubeText(), &mesh, nullptr), kMeshNoMaterialManager);
  meshtest::FailingManager empty;
  empty.emptyChunks = true;
  VandruIndexedMeshDefinition streamless;
  EXPECT_EQ(LoadText(CubeText(), &streamless, &empty), kMeshFailChunkCreate);
  for (uint32_t failure : {uint32_t(Kiv::MaterialManager::kUnsupported), 1u}) {
    meshtest::FailingManager manager;
    manager.failure = failure;
    VandruIndexedMeshDefinition refused;
    EXPECT_EQ(LoadText(CubeText(), &refused, &manager),
              failure == 1 ? kMeshUnknownMaterial : kMeshUnsupportedMaterial);
  }
}

}  // namespace
