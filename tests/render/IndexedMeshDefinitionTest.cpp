// What an indexed mesh definition holds after a load: skeleton, skin
// streams, bounds, oriented box and texture scale.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "render/meshes/MeshMeasures.h"
#include "tests/render/MeshFixtureWriter.h"
#include "tests/render/MeshTestSupport.h"
#include "tests/support/TempFolder.h"

namespace {

using meshfixture::InfluenceSpec;
using meshfixture::MeshSpec;
using meshtest::LoadIndexed;

MeshSpec WithInfluences(std::vector<InfluenceSpec> list) {
  MeshSpec spec;
  spec.influences = !list.empty();
  spec.influenceList = std::move(list);
  return spec;
}

TEST(IndexedMeshDefinition, SkeletonFollowsParentNames) {
  struct Case {
    const char* what;
    std::vector<InfluenceSpec> influences;
    const char* tree;
  };
  const Case cases[] = {
      {"no influences", {}, "-"},
      {"second parentless bone joins the first", {{"a", "", {}}, {"b", "", {}}}, "a(b())"},
      {"unknown parent means the root",
       {{"a", "", {}}, {"b", "zzz", {}}, {"c", "b", {}}},
       "a(b(c()))"},
      {"a loop hangs on the root", {{"a", "", {}}, {"b", "c", {}}, {"c", "b", {}}}, "a(b(c()))"},
      {"no parentless bone makes no skeleton", {{"a", "b", {}}, {"b", "a", {}}}, "-"},
  };
  for (const Case& c : cases) {
    const auto loaded = LoadIndexed(meshfixture::WriteMesh(WithInfluences(c.influences)));
    ASSERT_EQ(loaded.result, kMeshOk) << c.what;
    EXPECT_EQ(meshtest::Tree(loaded.mesh->GetRootBone()), c.tree) << c.what;
  }
}

// Five bones on vertex 0 (the fifth is dropped), one on vertex 1, one on a
// vertex the chunk does not have; vertex 2 keeps the defaults.
MeshSpec Skinned() {
  MeshSpec spec = WithInfluences({{"b0", "", {{0, {{0, 0.1f}, {99, 1.0f}}}}},
                                  {"b1", "b0", {{0, {{0, 0.2f}, {1, 0.6f}}}}},
                                  {"b2", "b0", {{0, {{0, 0.3f}}}}},
                                  {"b3", "b0", {{0, {{0, 0.4f}}}}},
                                  {"b4", "b0", {{0, {{0, 0.5f}}}}}});
  spec.maxWeights = 4;
  spec.maxBones = 5;
  spec.chunks[0].geometry.skinWeights = 4;
  return spec;
}

TEST(IndexedMeshDefinition, SkinWeightsAndIndicesArePackedPerVertex) {
  const auto loaded = LoadIndexed(meshfixture::WriteMesh(Skinned()), true, false);
  ASSERT_EQ(loaded.result, kMeshOk);
  Kiv::GeometryChunk& chunk = *loaded.mesh->GetChunk(0);
  const uint32_t* index = chunk.GetWords(Kiv::GeometryChunk::kBoneIndices);
  const uint32_t* packed = chunk.GetWords(Kiv::GeometryChunk::kPackedWeights);
  ASSERT_TRUE(index != nullptr && packed != nullptr);
  EXPECT_EQ(chunk.GetNumInfluenceMatrices(), 5u);
  EXPECT_EQ(index[0], 0x09060300u) << "slots 0..3 times 3, no room for a marker";
  EXPECT_EQ(packed[0], 0x664D331Au) << "0.1 .. 0.4 as bytes; the fifth bone is dropped";
  EXPECT_EQ(index[1], 0x0000FE03u) << "slot 1, then the marker";
  EXPECT_EQ(packed[1], 0x00000099u);
  EXPECT_EQ(index[2], 0u);
  EXPECT_EQ(packed[2], 0xFF000000u) << "untouched vertex keeps its default";
}

TEST(IndexedMeshDefinition, FloatSkinWeightsFillEveryWeightStreamAndSoftwareSkinningNone) {
  const auto loaded = LoadIndexed(meshfixture::WriteMesh(Skinned()), true, true);
  ASSERT_EQ(loaded.result, kMeshOk);
  Kiv::GeometryChunk& chunk = *loaded.mesh->GetChunk(0);
  const float* four = chunk.GetFloats(Kiv::GeometryChunk::kWeights1 + 3);
  ASSERT_NE(four, nullptr);
  EXPECT_EQ(std::vector<float>(four, four + 12),
            (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.6f, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_FLOAT_EQ(chunk.GetFloats(Kiv::GeometryChunk::kWeights1)[1], 0.6f);
  EXPECT_EQ(chunk.GetWords(Kiv::GeometryChunk::kBoneIndices)[0], 0x09060300u);
  // Without hardware skinning the chunk has no skin streams.
  const auto software = LoadIndexed(meshfixture::WriteMesh(Skinned()), false);
  ASSERT_EQ(software.result, kMeshOk);
  EXPECT_EQ(software.mesh->GetChunk(0)->GetWords(Kiv::GeometryChunk::kBoneIndices), nullptr);
  EXPECT_EQ(software.mesh->GetChunk(0)->GetNumInfluenceMatrices(), 0u);
}

TEST(IndexedMeshDefinition, BoundsAndOrientedBoxHoldEveryVertex) {
  MeshSpec spec;
  spec.chunks[0].geometry.scale = 2.0f;
  meshfixture::ChunkSpec second;
  second.geometry.scale = 0.5f;
  spec.chunks.push_back(second);
  const auto loaded = LoadIndexed(meshfixture::WriteMesh(spec));
  ASSERT_EQ(loaded.result, kMeshOk);
  const VandruIndexedMeshDefinition& mesh = *loaded.mesh;
  EXPECT_EQ(mesh.GetBoundsMax(), (std::array<float, 3>{2, 2, 2}));
  EXPECT_EQ(mesh.GetBoundsMin(), (std::array<float, 3>{-2, -2, -2}));
  for (uint32_t c = 0; c < mesh.GetNumChunks(); ++c) {
    const float* p = mesh.GetChunk(c)->GetFloats(Kiv::GeometryChunk::kPosition);
    for (uint32_t v = 0; v < mesh.GetChunk(c)->GetNumVertices(); ++v)
      EXPECT_TRUE(mesh.GetOrientedBox().Contains({p[3 * v], p[3 * v + 1], p[3 * v + 2]}));
  }
  EXPECT_NEAR(mesh.GetOrientedBox().extents[0], 2.0f, 1e-4f);
  EXPECT_GT(mesh.GetTextureScale(), 0.0f);
}

uint32_t Bits(float f) {
  uint32_t bits = 0;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// Two chunks of scattered vertices (two layouts), triangles that include
// degenerate ones and counts that are not multiples of four, and zeros of
// both signs on the y axis, whose largest value is a zero.
MeshSpec ScatteredMesh() {
  MeshSpec spec;
  spec.chunks.clear();
  uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return float((seed >> 8) & 0xFFFF) / 3277.0f - 10.0f;
  };
  for (uint32_t c = 0; c < 2; ++c) {
    meshfixture::ChunkSpec chunk;
    meshfixture::GeometrySpec& g = chunk.geometry;
    g.version = c == 0 ? 201 : 150;
    g.vertices = c == 0 ? 61 : 103;
    for (uint32_t v = 0; v < g.vertices; ++v) {
      g.positions.push_back(next() * (c + 1));
      const float y = next();
      g.positions.push_back(v == 5 ? -0.0f : v == 9 ? 0.0f : -std::fabs(y) - 0.5f);
      g.positions.push_back(next() * 0.25f);
    }
    g.indices.clear();
    for (uint32_t t = 0; t < (c == 0 ? 45u : 83u); ++t) {
      for (uint32_t k = 0; k < 3; ++k)
        g.indices.push_back(uint16_t(t % 7 == 3 && k == 2 ? (t * 7) % g.vertices
                                                          : (t * 7 + k * 13 + t / 5) % g.vertices));
    }
    g.faces = uint32_t(g.indices.size() / 3);
    g.faceNormals = g.faces;
    chunk.neighbours = false;
    spec.chunks.push_back(chunk);
  }
  return spec;
}

// Texture scale, bounds, and the oriented box's centre, axes and extents,
// as bits.
std::vector<uint32_t> MeasureBits(const VandruIndexedMeshDefinition& mesh) {
  const Kiv::OrientedBox& box = mesh.GetOrientedBox();
  std::vector<uint32_t> got{Bits(mesh.GetTextureScale())};
  for (const auto* v : {&mesh.GetBoundsMin(), &mesh.GetBoundsMax(), &box.center, &box.axes[0],
                        &box.axes[1], &box.axes[2], &box.extents}) {
    for (float f : *v) got.push_back(Bits(f));
  }
  return got;
}

// Three chunks of thousands of vertices far from the origin, with texture
// coordinates on a coarse grid (many triangles without texture area), zeros
// of both signs as the largest y both early and late in each chunk, and
// counts that are not multiples of any vector width.
MeshSpec LargeScatteredMesh() {
  MeshSpec spec;
  spec.chunks.clear();
  uint32_t seed = 987654321u;
  const auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return float(seed >> 8) / float(1u << 24);  // [0, 1)
  };
  const uint32_t vertices[] = {4099, 30011, 777};
  const uint32_t triangles[] = {6001, 50003, 1291};
  for (uint32_t c = 0; c < 3; ++c) {
    meshfixture::ChunkSpec chunk;
    meshfixture::GeometrySpec& g = chunk.geometry;
    g.version = c == 1 ? 150 : 201;
    g.vertices = vertices[c];
    for (uint32_t v = 0; v < g.vertices; ++v) {
      const bool zero = v % 997 == 13 || v == g.vertices - 3;
      g.positions.push_back(1000.0f + 37.0f * next());
      g.positions.push_back(zero ? (v % 2 == 0 ? 0.0f : -0.0f) : -0.25f - 50.0f * next());
      g.positions.push_back((next() - 0.5f) * 3.0e4f * float(c + 1));
      g.texCoords.push_back(float(int(next() * 6.0f)) * 0.125f);
      g.texCoords.push_back(float(int(next() * 3.0f)) * 0.25f);
    }
    g.indices.clear();
    for (uint32_t t = 0; t < triangles[c]; ++t) {
      for (uint32_t k = 0; k < 3; ++k) g.indices.push_back(uint16_t(next() * float(g.vertices)));
    }
    g.faces = triangles[c];
    g.faceNormals = g.faces;
    chunk.neighbours = false;
    spec.chunks.push_back(chunk);
  }
  return spec;
}

// The values are those of the plain sequential passes. In the small mesh the
// largest y is the first zero met: -0.
TEST(IndexedMeshDefinition, MeasuresKeepTheirBits) {
  const struct {
    const char* what;
    MeshSpec spec;
    std::vector<uint32_t> expected;
  } cases[] = {
      {"scattered vertices",
       ScatteredMesh(),
       {0x439ab344, 0xc19f0104, 0xc1262008, 0xc01cb58d, 0x419fe840, 0x80000000,
        0x401fa602, 0x3cc71ce2, 0xc0a37761, 0xbd8d76a6, 0x3f7fe486, 0xbca8f4bd,
        0xbca677c3, 0x3ca1e782, 0x3f7fba38, 0xbd2ac0a8, 0x3cad557d, 0x3d290935,
        0x3f7fb97c, 0x419fd30e, 0x40c1a4e5, 0x403e4ebb}},
      {"a large mesh",
       LargeScatteredMesh(),
       {0x49221593, 0x447a0006, 0xc248fff8, 0xc72fa7d0, 0x44819ffe, 0x80000000,
        0x472fc554, 0x447e9e21, 0xc1c5dec5, 0x416c2000, 0x3f7fccb2, 0x3d220b2b,
        0x36d28ba4, 0xbd220b2b, 0x3f7fccb2, 0xb7a1bf96, 0xb6ebfa05, 0x379f8a15,
        0x3f800000, 0x41a667b4, 0x41df9e8b, 0x472fb692}},
  };
  for (const auto& c : cases) {
    const auto loaded = LoadIndexed(meshfixture::WriteMesh(c.spec));
    ASSERT_EQ(loaded.result, kMeshOk) << c.what;
    EXPECT_EQ(MeasureBits(*loaded.mesh), c.expected) << c.what;
  }
}

// Chunks of two texture sets have their box sums taken while their vertex
// records are copied; the measures must be those of measuring the loaded
// chunks afterwards, whichever chunks are summed so and in what order
// (bounds carry over from chunk to chunk, a zero of either sign first).
TEST(IndexedMeshDefinition, MeasuresTakenWhileReadingAreThoseOfTheLoadedChunks) {
  MeshSpec spec = LargeScatteredMesh();
  for (meshfixture::ChunkSpec& chunk : spec.chunks) chunk.geometry.version = 150;
  MeshSpec mixed = LargeScatteredMesh();
  std::swap(mixed.chunks[0], mixed.chunks[1]);
  for (const MeshSpec* mesh : {&spec, &mixed}) {
    const auto loaded = LoadIndexed(meshfixture::WriteMesh(*mesh));
    ASSERT_EQ(loaded.result, kMeshOk);
    MeshMeasures measures;
    measures.Reset(true);
    for (uint32_t c = 0; c < loaded.mesh->GetNumChunks(); ++c)
      measures.AddChunk(*loaded.mesh->GetChunk(c));
    Kiv::OrientedBox box;
    measures.FitBox(&box);
    const Kiv::OrientedBox& got = loaded.mesh->GetOrientedBox();
    EXPECT_EQ(std::memcmp(&box, &got, sizeof(box)), 0);
    EXPECT_EQ(measures.BoundsMin(), loaded.mesh->GetBoundsMin());
    EXPECT_EQ(measures.BoundsMax(), loaded.mesh->GetBoundsMax());
    EXPECT_EQ(Bits(measures.BoundsMax()[1]), Bits(loaded.mesh->GetBoundsMax()[1]));
  }
}

// Every array of every chunk, as bytes.
std::string ChunkBytes(VandruIndexedMeshDefinition& mesh) {
  std::string bytes;
  const auto add = [&bytes](const void* data, size_t size) {
    if (data != nullptr) bytes.append(static_cast<const char*>(data), size);
  };
  for (uint32_t c = 0; c < mesh.GetNumChunks(); ++c) {
    Kiv::GeometryChunk& chunk = *mesh.GetChunk(c);
    const uint32_t vertices = chunk.GetNumVertices();
    for (uint32_t element : {1u, 2u, 4u, 15u, 16u, 27u}) {
      const auto items = chunk.GetItemArray(element);
      for (uint32_t v = 0; items && v < vertices; ++v)
        add(items[v], 4 * Kiv::GeometryChunk::ElementWidth(element));
    }
    add(chunk.GetIndexArray(), 2 * size_t(chunk.GetNumIndices()));
    add(chunk.GetFaceNormalArray(), 12 * size_t(chunk.GetNumFaceNormals()));
    add(chunk.GetFaceNeighbors().data(),
        chunk.GetFaceNeighbors().size() * sizeof(Kiv::GeometryChunk::FaceNeighbors));
  }
  return bytes;
}

// Chunks large enough to be read straight from the file, with face
// neighbours, besides the scattered meshes.
MeshSpec LargeChunks() {
  MeshSpec spec;
  spec.chunks.clear();
  for (uint32_t c = 0; c < 3; ++c) {
    meshfixture::ChunkSpec chunk;
    chunk.geometry.version = c == 1 ? 201 : 150;
    chunk.geometry.vertices = 9000 + 1000 * c;
    chunk.geometry.faces = chunk.geometry.faceNormals = 9000;
    chunk.geometry.indices.resize(27000);
    for (size_t i = 0; i < chunk.geometry.indices.size(); ++i)
      chunk.geometry.indices[i] = uint16_t((i * 7) % chunk.geometry.vertices);
    spec.chunks.push_back(chunk);
  }
  return spec;
}

// A definition opens its file streamed; what it loads from the file is what
// it loads from the same bytes in memory.
TEST(IndexedMeshDefinition, OpenedFileLoadsAsItsBytesInMemory) {
  VUTest::TempFolder folder;
  ASSERT_TRUE(folder.Made());
  const struct {
    const char* what;
    MeshSpec spec;
  } cases[] = {{"scattered", ScatteredMesh()},
               {"large scattered", LargeScatteredMesh()},
               {"large chunks", LargeChunks()}};
  for (const auto& c : cases) {
    const std::vector<uint8_t> bytes = meshfixture::WriteMesh(c.spec);
    const std::string path = folder.Put(
        "mesh.im", std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const auto inMemory = LoadIndexed(bytes);
    VandruIndexedMeshDefinition opened;
    ASSERT_EQ(opened.OpenResourceFile(path), kMeshOk) << c.what;
    EXPECT_TRUE(opened.GetMemoryFile().IsStreamed());
    ASSERT_EQ(
        opened.Load(&meshtest::DisplayWith(false), &meshtest::Manager(), nullptr, 0, 0xFFFFFFFF),
        kMeshOk)
        << c.what;
    ASSERT_EQ(inMemory.result, kMeshOk) << c.what;
    EXPECT_EQ(MeasureBits(opened), MeasureBits(*inMemory.mesh)) << c.what;
    EXPECT_TRUE(ChunkBytes(opened) == ChunkBytes(*inMemory.mesh)) << c.what;
    EXPECT_GT(ChunkBytes(opened).size(), bytes.size() / 2) << c.what;
  }
}

// The file is cut after it was opened (in the header, in a chunk's
// interleaved vertices, in its indices, in the last face neighbours): the
// load fails as for a damaged file and reads nothing past the cut.
TEST(IndexedMeshDefinition, FileCutAfterOpeningIsRefused) {
  VUTest::TempFolder folder;
  ASSERT_TRUE(folder.Made());
  const std::vector<uint8_t> bytes = meshfixture::WriteMesh(LargeChunks());
  const std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  for (const size_t cut : {size_t(20), size_t(80000), bytes.size() / 2, bytes.size() - 1}) {
    const std::string path = folder.Put("mesh.im", text);
    VandruIndexedMeshDefinition mesh;
    ASSERT_EQ(mesh.OpenResourceFile(path), kMeshOk);
    ASSERT_EQ(::truncate(path.c_str(), off_t(cut)), 0);
    EXPECT_EQ(
        mesh.Load(&meshtest::DisplayWith(false), &meshtest::Manager(), nullptr, 0, 0xFFFFFFFF),
        kMeshFileFormatError)
        << cut;
  }
}

// A chunk of one triangle has a texture scale, the one that the same
// triangle gives in a chunk of more.
TEST(IndexedMeshDefinition, ChunkOfOneTriangleHasItsTextureScale) {
  const auto triangles = [](uint32_t count) {
    MeshSpec spec;
    meshfixture::GeometrySpec& geometry = spec.chunks[0].geometry;
    geometry.vertices = 3;
    geometry.positions = {0, 0, 0, 2, 0, 0, 0, 2, 0};
    geometry.texCoords = {0, 0, 1, 0, 0, 1};
    geometry.faces = geometry.faceNormals = count;
    geometry.indices.clear();
    for (uint32_t t = 0; t < count; ++t) geometry.indices.insert(geometry.indices.end(), {0, 1, 2});
    spec.chunks[0].neighbours = false;
    return LoadIndexed(meshfixture::WriteMesh(spec));
  };
  const auto one = triangles(1), two = triangles(2);
  ASSERT_EQ(one.result, kMeshOk);
  ASSERT_EQ(two.result, kMeshOk);
  EXPECT_GT(two.mesh->GetTextureScale(), 0.0f);
  EXPECT_FLOAT_EQ(one.mesh->GetTextureScale(), two.mesh->GetTextureScale());
}

TEST(IndexedMeshDefinition, MeshWithoutVerticesOrTextureSetsMeasuresZero) {
  MeshSpec empty;
  empty.chunks[0].geometry.vertices = 0;
  empty.chunks[0].geometry.indices.clear();
  auto loaded = LoadIndexed(meshfixture::WriteMesh(empty));
  ASSERT_EQ(loaded.result, kMeshOk);
  EXPECT_EQ(loaded.mesh->GetNumChunks(), 0u);
  EXPECT_EQ(loaded.mesh->GetBoundsMax(), (std::array<float, 3>{0, 0, 0}));
  EXPECT_EQ(loaded.mesh->GetBoundsMin(), (std::array<float, 3>{0, 0, 0}));

  MeshSpec untextured;
  untextured.chunks[0].geometry.version = 150;
  untextured.chunks[0].geometry.sets = 0;
  loaded = LoadIndexed(meshfixture::WriteMesh(untextured));
  ASSERT_EQ(loaded.result, kMeshOk);
  EXPECT_EQ(loaded.mesh->GetTextureScale(), 0.0f);
}

}  // namespace
