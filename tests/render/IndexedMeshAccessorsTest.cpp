// The accessors through which the engine and the checks read an indexed
// mesh definition: what they copy is what the chunks hold, and bad chunk
// indexes and short buffers are refused without a write.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

#include "tests/render/MeshFixtureWriter.h"
#include "tests/render/MeshTestSupport.h"

namespace {

using meshfixture::MeshSpec;
using meshtest::LoadIndexed;

// Chunk 0: one texture set, skinned by b0 and b1 (two entries on vertex 0,
// one on a vertex the chunk lacks); chunk 1: two sets and colours, one
// entry of b2.
MeshSpec TwoChunks() {
  MeshSpec spec;
  spec.chunks.push_back(meshfixture::ChunkSpec{});
  spec.chunks[0].geometry.skinWeights = 4;
  spec.chunks[1].geometry.version = 150;
  spec.chunks[1].geometry.sets = 2;
  spec.maxWeights = 4;
  spec.maxBones = 5;
  spec.influences = true;
  spec.influenceList = {{"b0", "", {{0, {{0, 0.1f}, {99, 1.0f}}}}},
                        {"b1", "b0", {{0, {{0, 0.2f}, {1, 0.6f}}}}},
                        {"b2", "b0", {{1, {{3, 0.3f}}}}}};
  spec.attachments = true;
  return spec;
}

std::vector<float> Stream(Kiv::StridedArray<float> from, uint32_t vertices, uint32_t width) {
  std::vector<float> out;
  for (uint32_t v = 0; from && v < vertices; ++v) out.insert(out.end(), from[v], from[v] + width);
  return out;
}

// Every other group of `width` floats of a copy made with twice the stride.
std::vector<float> Unstride(const std::vector<float>& copy, uint32_t width) {
  std::vector<float> out;
  for (size_t i = 0; i + width <= copy.size(); i += 2 * width)
    out.insert(out.end(), copy.begin() + i, copy.begin() + i + width);
  return out;
}

TEST(IndexedMeshAccessors, CountsAndCopiesAreWhatTheChunksHold) {
  const auto loaded = LoadIndexed(meshfixture::WriteMesh(TwoChunks()), true);
  ASSERT_EQ(loaded.result, kMeshOk);
  const Kiv::MeshFileSupport& mesh = *loaded.mesh;
  ASSERT_EQ(mesh.GetChunkCount(), 2u);
  struct Case {
    uint32_t chunk;
    uint32_t sets;
    uint32_t matrices;
    uint32_t mostInfluences;
    bool secondColours;
  };
  const Case cases[] = {{0, 1, 2, 2, false}, {1, 2, 0, 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chunk);
    Kiv::GeometryChunk& chunk = *loaded.mesh->GetChunk(c.chunk);
    const uint32_t n = chunk.GetNumVertices();
    EXPECT_EQ(mesh.GetChunkVertexCount(c.chunk), n);
    EXPECT_EQ(mesh.GetChunkIndexCount(c.chunk), chunk.GetNumIndices());
    EXPECT_EQ(mesh.GetChunkTexCoordSetCount(c.chunk), c.sets);
    EXPECT_EQ(mesh.GetChunkInfluenceMatrixCount(c.chunk), c.matrices);
    EXPECT_EQ(mesh.GetChunkMaxVertexInfluences(c.chunk), c.mostInfluences);

    std::vector<float> tight(n * 3);
    ASSERT_TRUE(mesh.CopyChunkPositions(c.chunk, tight.data(), tight.size() * 4, 12));
    EXPECT_EQ(tight, Stream(chunk.GetVector3Array(Kiv::GeometryChunk::kPosition), n, 3));
    std::vector<float> spaced(n * 6 - 3);
    ASSERT_TRUE(mesh.CopyChunkNormals(c.chunk, spaced.data(), spaced.size() * 4, 24));
    EXPECT_EQ(Unstride(spaced, 3), Stream(chunk.GetVector3Array(Kiv::GeometryChunk::kNormal), n, 3));
    for (uint32_t set = 0; set < c.sets; ++set) {
      std::vector<float> uv(n * 2);
      ASSERT_TRUE(mesh.CopyChunkTexCoords(c.chunk, set, uv.data(), uv.size() * 4, 8));
      EXPECT_EQ(uv, Stream(chunk.GetVector2Array(Kiv::GeometryChunk::kTexCoord0 + set), n, 2));
    }
    std::vector<uint16_t> indices(chunk.GetNumIndices());
    ASSERT_TRUE(mesh.CopyChunkIndices(c.chunk, indices.data(), indices.size()));
    EXPECT_EQ(indices, std::vector<uint16_t>(chunk.GetIndexArray(),
                                             chunk.GetIndexArray() + chunk.GetNumIndices()));
    std::vector<uint32_t> colours(n);
    ASSERT_TRUE(mesh.CopyChunkColours(c.chunk, colours.data(), n, true, 0));
    const Kiv::StridedArray<uint32_t> held = chunk.GetColorArray(Kiv::GeometryChunk::kColor);
    for (uint32_t v = 0; v < n; ++v) EXPECT_EQ(colours[v], *held[v]);
    ASSERT_TRUE(mesh.CopyChunkColours(c.chunk, colours.data(), n, false, 0x12345678));
    EXPECT_EQ(colours, std::vector<uint32_t>(n, 0x12345678)) << "no second colours: the default";
    std::vector<float> faces(chunk.GetNumFaceNormals() * 3);
    ASSERT_TRUE(mesh.CopyChunkFaceNormals(c.chunk, faces.data(), faces.size()));
    EXPECT_EQ(faces, std::vector<float>(chunk.GetFaceNormalArray(),
                                        chunk.GetFaceNormalArray() + faces.size()));
  }
}

TEST(IndexedMeshAccessors, MaterialsInfluencesAndAttachmentsAreRead) {
  const auto loaded = LoadIndexed(meshfixture::WriteMesh(TwoChunks()), true);
  ASSERT_EQ(loaded.result, kMeshOk);
  const Kiv::MeshFileSupport& mesh = *loaded.mesh;
  const Kiv::Material& material = *loaded.mesh->GetMaterial(1);
  EXPECT_EQ(mesh.GetChunkMaterialKind(1), material.GetKind());
  EXPECT_EQ(mesh.GetChunkMaterialName(1), material.GetRequestName());
  EXPECT_EQ(mesh.GetChunkMaterialFlags(1), Kiv::Material::kTwoSided);
  EXPECT_EQ(mesh.GetChunkMaterialFactor(1), 0.75f);
  Kiv::DisplayMaterial display;
  ASSERT_TRUE(mesh.GetChunkDisplayMaterial(1, &display));
  EXPECT_EQ(display, material.GetDisplayMaterial());
  ASSERT_EQ(mesh.GetChunkMaterialPropertyCount(1), 1u);
  Kiv::PString name;
  Kiv::PString value;
  ASSERT_TRUE(mesh.GetChunkMaterialProperty(1, 0, &name, &value));
  EXPECT_EQ(name.View(), "Gloss");
  EXPECT_EQ(value.View(), "0.5");

  ASSERT_EQ(mesh.GetInfluenceCount(), 3u);
  EXPECT_EQ(mesh.GetInfluenceName(1).View(), "b1");
  EXPECT_EQ(mesh.GetInfluenceParentName(1).View(), "b0");
  ASSERT_EQ(mesh.GetInfluenceGroupCount(1), 1u);
  EXPECT_EQ(mesh.GetInfluenceGroupKey(2, 0), 1u);
  ASSERT_EQ(mesh.GetInfluenceGroupEntryCount(1, 0), 2u);
  Kiv::InfluenceDefinition::Entry entries[2];
  ASSERT_TRUE(mesh.CopyInfluenceGroupEntries(1, 0, entries, 2));
  EXPECT_EQ(entries[1].index, 1u);
  EXPECT_EQ(entries[1].values[0], 0.6f);
  Kiv::Quaternion turn;
  ASSERT_TRUE(mesh.GetInfluenceOrientation(0, &turn));

  ASSERT_EQ(mesh.GetAttachmentCount(), 1u);
  EXPECT_EQ(mesh.GetAttachmentName(0).View(), "a.light");
  std::array<float, 3> at{};
  ASSERT_TRUE(mesh.GetAttachmentPosition(0, &at));
  EXPECT_EQ(at, loaded.mesh->GetAttachments()[0].position);
  ASSERT_TRUE(mesh.GetAttachmentOrientation(0, &turn));
}

TEST(IndexedMeshAccessors, BadIndexesAndShortBuffersAreRefusedWithoutAWrite) {
  const auto loaded = LoadIndexed(meshfixture::WriteMesh(TwoChunks()), true);
  ASSERT_EQ(loaded.result, kMeshOk);
  const Kiv::MeshFileSupport& m = *loaded.mesh;
  const uint32_t n = m.GetChunkVertexCount(0);
  const uint32_t indices = m.GetChunkIndexCount(0);
  std::vector<uint8_t> buffer(4096);
  void* b = buffer.data();
  auto* f = static_cast<float*>(b);
  auto* u16 = static_cast<uint16_t*>(b);
  auto* u32 = static_cast<uint32_t*>(b);
  auto* entries = static_cast<Kiv::InfluenceDefinition::Entry*>(b);
  auto* q = static_cast<Kiv::Quaternion*>(b);
  auto* p = static_cast<std::array<float, 3>*>(b);
  struct Case {
    const char* what;
    std::function<bool()> call;
  };
  const Case cases[] = {
      {"positions of a chunk past the end", [&] { return m.CopyChunkPositions(2, b, 4096, 12); }},
      {"positions one byte short", [&] { return m.CopyChunkPositions(0, b, n * 12 - 1, 12); }},
      {"positions closer than three floats", [&] { return m.CopyChunkPositions(0, b, 4096, 8); }},
      {"normals one byte short", [&] { return m.CopyChunkNormals(0, b, n * 16 - 5, 16); }},
      {"a texture set the chunk lacks", [&] { return m.CopyChunkTexCoords(0, 1, b, 4096, 8); }},
      {"texture coordinates short", [&] { return m.CopyChunkTexCoords(1, 1, b, n * 8 - 1, 8); }},
      {"indices one short", [&] { return m.CopyChunkIndices(0, u16, indices - 1); }},
      {"indices of a chunk past the end", [&] { return m.CopyChunkIndices(7, u16, 2048); }},
      {"colours one short", [&] { return m.CopyChunkColours(0, u32, n - 1, true, 0); }},
      {"colours of a chunk past the end", [&] { return m.CopyChunkColours(2, u32, 1024, true, 0); }},
      {"face normals one short", [&] { return m.CopyChunkFaceNormals(0, f, 12 * 3 - 1); }},
      {"face normals of a chunk past the end", [&] { return m.CopyChunkFaceNormals(2, f, 1024); }},
      {"display material of a chunk past the end",
       [&] { return m.GetChunkDisplayMaterial(2, static_cast<Kiv::DisplayMaterial*>(b)); }},
      {"a property past the last", [&] { return m.GetChunkMaterialProperty(0, 1, nullptr, nullptr); }},
      {"influence entries one short", [&] { return m.CopyInfluenceGroupEntries(1, 0, entries, 1); }},
      {"a group past the last", [&] { return m.CopyInfluenceGroupEntries(1, 1, entries, 9); }},
      {"an influence past the last", [&] { return m.GetInfluenceOrientation(3, q); }},
      {"an influence position past the last", [&] { return m.GetInfluencePosition(3, p); }},
      {"an attachment past the last", [&] { return m.GetAttachmentPosition(1, p); }},
      {"an attachment orientation past the last", [&] { return m.GetAttachmentOrientation(1, q); }},
  };
  for (const Case& c : cases) {
    std::fill(buffer.begin(), buffer.end(), uint8_t(0xAB));
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), uint8_t(0xAB)), 4096) << c.what;
  }
  EXPECT_EQ(m.GetChunkVertexCount(2) + m.GetChunkIndexCount(2) + m.GetChunkTexCoordSetCount(2) +
                m.GetChunkInfluenceMatrixCount(2) + m.GetChunkMaxVertexInfluences(2) +
                m.GetChunkMaterialPropertyCount(2) + m.GetInfluenceGroupCount(3) +
                m.GetInfluenceGroupEntryCount(0, 5),
            0u);
  EXPECT_TRUE(m.GetChunkMaterialKind(2).View().empty());
  EXPECT_TRUE(m.GetInfluenceName(3).View().empty());
  EXPECT_TRUE(m.GetAttachmentName(1).View().empty());
}

}  // namespace
