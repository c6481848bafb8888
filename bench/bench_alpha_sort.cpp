// Sorting transparent triangles far to near in the depth-sorted alpha-blend
// cache: one near chunk of 10,000 triangles added (which sorts them) and
// drawn per iteration. The goal is well under 1 ms. Compared with
// std::sort of the same (primitive, squared distance) pairs alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "kiv/basics/Matrix4.h"
#include "kiv/display/Display.h"
#include "kiv/display/GeometryChunk.h"
#include "kiv/display/Material.h"
#include "kiv/display/ViewPort.h"
#include "render/materials/VandruAlphaBlendCache.h"

namespace {

constexpr uint32_t kTriangles = 10000;

class NullMaterial : public Kiv::Material {
 public:
  NullMaterial() : Material(Kiv::PString("null")) {}
  void RenderPrimitives(Kiv::Display*, Kiv::ViewPort*, Kiv::GeometryChunk*,
                        const Kiv::DisplayLightList*, const Kiv::Matrix4*, uint32_t,
                        const uint16_t* indices, uint32_t count, uint32_t, int) override {
    benchmark::DoNotOptimize(indices[count - 1]);
  }
};

Kiv::Ref<Kiv::GeometryChunk> MakeSoup() {
  const uint32_t vertices = 3 * 20000 > 65535 ? 65535 : 3 * 20000;
  Kiv::Ref<Kiv::GeometryChunk> chunk(Kiv::GeometryChunk::Create(
      vertices, kTriangles, 3 * kTriangles, 0, 0, Kiv::StandardChunkHint(0, 0)));
  std::mt19937 random(7);
  std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
  float* positions = chunk->GetFloats(Kiv::GeometryChunk::kPosition);
  for (uint32_t i = 0; i < 3 * vertices; ++i) positions[i] = coordinate(random);
  std::uniform_int_distribution<uint32_t> vertex(0, vertices - 1);
  uint16_t* indices = chunk->GetIndexArray();
  for (uint32_t i = 0; i < 3 * kTriangles; ++i) indices[i] = static_cast<uint16_t>(vertex(random));
  return chunk;
}

void BM_SortTransparentTriangles(benchmark::State& state) {
  auto chunk = MakeSoup();
  Kiv::VandruAlphaBlendCache cache;
  Kiv::Display display;
  display.SetRecording(false);
  Kiv::ViewPort viewport;
  NullMaterial material;
  const Kiv::Matrix4 placed = Kiv::Matrix4::Translation(0, 0, 100);
  for (auto _ : state) {
    cache.Add(chunk.get(), &material, nullptr, &placed);
    cache.Draw(&display, &viewport);
  }
  state.SetItemsProcessed(state.iterations() * kTriangles);
}
BENCHMARK(BM_SortTransparentTriangles)->Unit(benchmark::kMicrosecond);

void BM_StdSortPairsOnly(benchmark::State& state) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> key(0.0f, 30000.0f);
  std::vector<std::pair<uint32_t, float>> source(kTriangles);
  for (uint32_t i = 0; i < kTriangles; ++i) source[i] = {i, key(random)};
  std::vector<std::pair<uint32_t, float>> pairs(kTriangles);
  for (auto _ : state) {
    pairs = source;
    std::sort(pairs.begin(), pairs.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    benchmark::DoNotOptimize(pairs.data());
  }
  state.SetItemsProcessed(state.iterations() * kTriangles);
}
BENCHMARK(BM_StdSortPairsOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
