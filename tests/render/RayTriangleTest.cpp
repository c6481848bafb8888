// The ray and triangle test, alone and over the chunks of a loaded cube.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "render/instances/ChunkTriangles.h"
#include "render/instances/IntersectRayTriangle.h"
#include "tests/render/CubeFixture.h"
#include "tests/render/MeshTestSupport.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The triangle (0,0,0), (1,0,0), (0,1,0) turns counter-clockwise seen from
// +z, so a ray going down -z sees its front.
TEST(IntersectRayTriangle, EdgeCasesOfBothModes) {
  struct Case {
    const char* what;
    Vector3 origin, direction;
    uint8_t twoSided;
    float bestBefore;
    bool hit;
    float bestAfter;
  };
  const Case cases[] = {
      {"front, one-sided", {0.25f, 0.25f, 2}, {0, 0, -1}, 0, 100, true, 2},
      {"front, two-sided", {0.25f, 0.25f, 2}, {0, 0, -1}, 1, 100, true, 2},
      {"back, one-sided", {0.25f, 0.25f, -2}, {0, 0, 1}, 0, 100, false, 100},
      {"back, two-sided", {0.25f, 0.25f, -2}, {0, 0, 1}, 1, 100, true, 2},
      {"parallel, one-sided", {0.25f, 0.25f, 0}, {1, 0, 0}, 0, 100, false, 100},
      {"parallel, two-sided", {0.25f, 0.25f, 0}, {1, 0, 0}, 1, 100, false, 100},
      {"behind the origin", {0.25f, 0.25f, 2}, {0, 0, 1}, 1, 100, true, -2},
      {"behind beats in front", {0.25f, 0.25f, 2}, {0, 0, 1}, 1, 0.5f, true, -2},
      {"starting on it", {0.25f, 0.25f, 0}, {0, 0, -1}, 0, 100, true, 0},
      {"farther than best", {0.25f, 0.25f, 2}, {0, 0, -1}, 0, 1, true, 1},
      {"equal to best", {0.25f, 0.25f, 2}, {0, 0, -1}, 0, 2, true, 2},
      {"direction of length 2", {0.25f, 0.25f, 2}, {0, 0, -2}, 0, 100, true, 1},
      {"on the corner", {0, 0, 2}, {0, 0, -1}, 0, 100, true, 2},
      {"on the long edge", {0.5f, 0.5f, 2}, {0, 0, -1}, 1, 100, true, 2},
      {"just outside", {0.5f, 0.5001f, 2}, {0, 0, -1}, 0, 100, false, 100},
      {"zero direction", {0.25f, 0.25f, 2}, {0, 0, 0}, 1, 100, false, 100},
      {"origin not a number", {kNaN, 0.25f, 2}, {0, 0, -1}, 0, 100, false, 100},
      {"direction not a number", {0.25f, 0.25f, 2}, {0, kNaN, -1}, 1, 100, false, 100},
  };
  const Vector3 a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0};
  for (const Case& k : cases) {
    float best = k.bestBefore;
    EXPECT_EQ(IntersectRayTriangle(a, b, c, k.twoSided, k.origin, k.direction, &best), k.hit)
        << k.what;
    EXPECT_FLOAT_EQ(best, k.bestAfter) << k.what;
  }
}

// A degenerate triangle is never met; a determinant of exactly 1e-6 is.
TEST(IntersectRayTriangle, DegenerateTriangleIsNeverMetButTheEpsilonIs) {
  const Vector3 o{0, 0, 0}, x{1, 0, 0}, e{0, 1e-6f, 0}, down{0, 0, -1};
  for (uint8_t twoSided : {0, 1}) {
    float best = 100;
    EXPECT_FALSE(
        IntersectRayTriangle(o, {1, 1, 0}, {2, 2, 0}, twoSided, {0.5f, 0.5f, 1}, down, &best));
    EXPECT_EQ(best, 100);
    EXPECT_TRUE(IntersectRayTriangle(o, twoSided ? e : x, twoSided ? x : e, twoSided, {0, 0, 1},
                                     down, &best));
  }
}

// Rays into the two-chunk cube (CubeFixture.h), loaded through the indexed
// mesh reader.
TEST(ChunkRayTest, RaysIntoTheCubeMeetTheExpectedTriangle) {
  struct Case {
    const char* what;
    bool twoSided;
    Vector3 origin, direction;
    bool hit;
    TriangleKey key;
    float distance;
  };
  const Case cases[] = {
      {"-z face, first half", false, {0.25f, 0.5f, -5}, {0, 0, 1}, true, {1, 4}, 4},
      {"-z face, second half", false, {0.5f, 0.25f, -5}, {0, 0, 1}, true, {1, 5}, 4},
      {"-z face, two-sided", true, {0.25f, 0.5f, -5}, {0, 0, 1}, true, {1, 4}, 4},
      {"+x face, long direction", false, {5, 0.5f, 0.25f}, {-2, 0, 0}, true, {0, 0}, 2},
      {"+y face", false, {0.5f, 9, 0.25f}, {0, -1, 0}, true, {0, 5}, 8},
      {"missing the cube", false, {3, 3, -5}, {0, 0, 1}, false, {}, 1000},
      // From inside, one-sided: the far faces turn away, the face behind
      // the origin faces the ray and is met at a negative distance.
      {"from inside", false, {0.25f, 0.5f, 0}, {0, 0, 1}, true, {1, 4}, -1},
      {"from inside, two-sided", true, {0.25f, 0.5f, 0}, {0, 0, 1}, true, {1, 4}, -1},
  };
  for (const Case& k : cases) {
    auto loaded = meshtest::LoadIndexed(meshfixture::WriteMesh(meshfixture::CubeMesh(k.twoSided)));
    ASSERT_EQ(loaded.result, kMeshOk);
    const VandruIndexedMeshDefinition& mesh = *loaded.mesh;
    ASSERT_EQ(mesh.GetNumChunks(), 2u);
    std::vector<Kiv::Ref<Kiv::GeometryChunk>> chunks;
    std::vector<Kiv::Ref<Kiv::Material>> materials;
    for (uint32_t c = 0; c < 2; ++c) {
      chunks.emplace_back(mesh.GetChunk(c));
      materials.emplace_back(mesh.GetMaterial(c));
    }
    float best = 1000;
    TriangleKey key{99, 99};
    EXPECT_EQ(TestRayAgainstChunks(2, chunks.data(), materials.data(), k.origin, k.direction, &best,
                                   &key),
              k.hit)
        << k.what;
    EXPECT_FLOAT_EQ(best, k.distance) << k.what;
    if (!k.hit) continue;
    EXPECT_EQ(std::pair(key.chunk, key.triangle), std::pair(k.key.chunk, k.key.triangle)) << k.what;
  }
}

TEST(ChunkRayTest, NeighboursCentroidsAndNormalsOfTheCube) {
  auto loaded = meshtest::LoadIndexed(meshfixture::WriteMesh(meshfixture::CubeMesh(false)));
  ASSERT_EQ(loaded.result, kMeshOk);
  Kiv::GeometryChunk& ends = *loaded.mesh->GetChunk(1);
  // The fixture's neighbour entries count up from 0: face f, edge e holds
  // 3f + e, read as chunk 0, triangle 3f + e.
  TriangleKey key;
  ASSERT_TRUE(GetTriangleNeighbour(ends, 5, 2, &key));
  EXPECT_EQ(std::pair(key.chunk, key.triangle), std::pair(0u, 17u));
  EXPECT_FALSE(GetTriangleNeighbour(ends, 6, 0, &key));
  EXPECT_FALSE(GetTriangleNeighbour(ends, 0, 3, &key));
  ends.SetFaceNeighborArray({{{0xFFFFFFFFu, 0x00020003u, 0}}});
  EXPECT_FALSE(GetTriangleNeighbour(ends, 0, 0, &key));
  ASSERT_TRUE(GetTriangleNeighbour(ends, 0, 1, &key));
  EXPECT_EQ(std::pair(key.chunk, key.triangle), std::pair(2u, 3u));
  // Triangle 4 is the -z face's half (-1,-1), (-1,1), (1,1) in x, y.
  Vector3 centroid, normal;
  ASSERT_TRUE(GetTriangleCentroid(ends, 4, &centroid));
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(centroid[i], (Vector3{-1.0f / 3, 1.0f / 3, -1})[i], 1e-6f);
  ASSERT_TRUE(GetTriangleNormal(ends, 4, &normal));
  EXPECT_EQ(normal, (Vector3{0, 0, -1}));
  Kiv::StandardChunkHint hint(0, 0);
  Kiv::Ref<Kiv::GeometryChunk> flat(Kiv::GeometryChunk::Create(3, 1, 3, 0, 0, hint));
  EXPECT_FALSE(GetTriangleNormal(*flat, 0, &normal));  // Every corner at the origin.
}

TEST(ChunkRayTest, StripAndFanCornersAndBadIndices) {
  Kiv::StandardChunkHint hint(0, 0);
  struct Case {
    uint32_t kind;
    std::vector<uint16_t> indices;
    uint32_t triangles;
    std::vector<std::array<uint32_t, 3>> corners;  // Empty: refused.
  };
  const Case cases[] = {
      {0, {0, 1, 2, 2, 1, 3}, 2, {{0, 1, 2}, {2, 1, 3}}},
      {1, {0, 1, 2, 3}, 2, {{0, 1, 2}, {2, 1, 3}}},
      {2, {0, 1, 2, 3}, 2, {{0, 1, 2}, {0, 2, 3}}},
      {3, {0, 1, 2, 3}, 0, {}},
      {0, {0, 1, 4}, 1, {{}}},  // Index past the vertices.
  };
  for (const Case& k : cases) {
    Kiv::Ref<Kiv::GeometryChunk> chunk(
        Kiv::GeometryChunk::Create(4, k.triangles, uint32_t(k.indices.size()), 0, k.kind, hint));
    ASSERT_TRUE(chunk);
    std::copy(k.indices.begin(), k.indices.end(), chunk->GetIndexArray());
    EXPECT_EQ(GetTriangleCount(*chunk), k.triangles) << k.kind;
    for (uint32_t t = 0; t < k.corners.size(); ++t) {
      std::array<uint32_t, 3> corners{};
      const bool valid = k.corners[t] != std::array<uint32_t, 3>{};
      EXPECT_EQ(GetTriangleCorners(*chunk, t, &corners), valid) << k.kind;
      if (valid) {
        EXPECT_EQ(corners, k.corners[t]) << k.kind;
      }
    }
    std::array<uint32_t, 3> corners;
    EXPECT_FALSE(GetTriangleCorners(*chunk, k.triangles, &corners));
  }
}

}  // namespace
