// A ray tested against 100,000 triangles: four chunks of 25,000 triangles
// (grids of 125 x 100 quads, one above the other), each a triangle list, the
// ray passing down through all four. Triangles tested per second is the
// figure to report; the bare ray and triangle test over the same
// triangles, without the chunk walk, for comparison.
#include <benchmark/benchmark.h>

#include <vector>

#include "kiv/display/GeometryChunk.h"
#include "render/instances/ChunkTriangles.h"
#include "render/instances/IntersectRayTriangle.h"

namespace {

constexpr uint32_t kColumns = 125, kRows = 100, kChunks = 4;
constexpr uint32_t kTriangles = kColumns * kRows * 2 * kChunks;

Kiv::GeometryChunk* Grid(float height) {
  const uint32_t vertices = (kColumns + 1) * (kRows + 1);
  const uint32_t indices = kColumns * kRows * 6;
  Kiv::StandardChunkHint hint(0, 0);
  Kiv::GeometryChunk* chunk =
      Kiv::GeometryChunk::Create(vertices, indices / 3, indices, 0, 0, hint);
  float* p = chunk->GetFloats(Kiv::GeometryChunk::kPosition);
  for (uint32_t r = 0; r <= kRows; ++r) {
    for (uint32_t c = 0; c <= kColumns; ++c, p += 3) {
      p[0] = float(c);
      p[1] = height;
      p[2] = float(r);
    }
  }
  uint16_t* index = chunk->GetIndexArray();
  for (uint32_t r = 0; r < kRows; ++r) {
    for (uint32_t c = 0; c < kColumns; ++c) {
      const uint16_t a = uint16_t(r * (kColumns + 1) + c), b = uint16_t(a + 1),
                     d = uint16_t(a + kColumns + 1), e = uint16_t(d + 1);
      for (uint16_t i : {a, d, b, b, d, e}) *index++ = i;
    }
  }
  return chunk;
}

struct Scene {
  Scene() {
    for (uint32_t c = 0; c < kChunks; ++c) chunks.emplace_back(Grid(float(c)));
  }
  std::vector<Kiv::Ref<Kiv::GeometryChunk>> chunks;
};

void BM_RayAgainstChunks(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    float best = 1e30f;
    TriangleKey hit;
    benchmark::DoNotOptimize(TestRayAgainstChunks(kChunks, scene.chunks.data(), nullptr,
                                                  {60.3f, 10.0f, 40.7f}, {0, -1, 0}, &best, &hit));
    benchmark::DoNotOptimize(best);
  }
  state.SetItemsProcessed(state.iterations() * kTriangles);
}
BENCHMARK(BM_RayAgainstChunks);

void BM_RayAgainstTriangleArray(benchmark::State& state) {
  Scene scene;
  std::vector<Vector3> corners;
  for (auto& chunk : scene.chunks) {
    std::array<Vector3, 3> p;
    for (uint32_t t = 0; GetTrianglePositions(*chunk, t, &p); ++t)
      corners.insert(corners.end(), p.begin(), p.end());
  }
  for (auto _ : state) {
    float best = 1e30f;
    for (size_t i = 0; i < corners.size(); i += 3) {
      IntersectRayTriangle(corners[i], corners[i + 1], corners[i + 2], 0, {60.3f, 10.0f, 40.7f},
                           {0, -1, 0}, &best);
    }
    benchmark::DoNotOptimize(best);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(corners.size() / 3));
}
BENCHMARK(BM_RayAgainstTriangleArray);

}  // namespace

BENCHMARK_MAIN();
