// Software skinning of a 10,000-vertex chunk whose vertices each hang on
// four bones of a four-bone chain (40,000 weight records a frame): vertex
// influences per second is the figure to report. Display skinning of the
// same chain (four matrix compositions a frame) for comparison.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "kiv/display/GeometryChunk.h"
#include "kiv/scene/ParticleBone.h"
#include "render/instances/VandruInfluenceMesh.h"

namespace {

constexpr uint32_t kVertices = 10000;
constexpr int kBones = 4;

struct Chain {
  explicit Chain(uint8_t hardware) {
    Kiv::ParticleBone* parent = skeleton.get();
    for (int b = 0; b < kBones; ++b) {
      Kiv::ParticleBone* bone =
          b == 0 ? parent : parent->Add(std::make_unique<Kiv::ParticleBone>());
      bone->name = Kiv::PString("bone" + std::to_string(b));
      bone->position = {0.0f, b == 0 ? 0.0f : 1.0f, 0.0f};
      bone->orientation = {0.0f, 0.0f, 0.3826834f, 0.9238795f};  // 45 degrees about z
      influences[b].name = bone->name;
      if (b > 0) influences[b].parentName = parent->name;
      influences[b].position = bone->position;
      influences[b].orientation = {1, 0, 0, 0, 1, 0, 0, 0, 1};
      Kiv::InfluenceDefinition::Group group;
      for (uint32_t v = 0; v < kVertices; ++v)
        group.entries.push_back({v, {0.25f, float(v % 7), float(v % 5), float(v % 3)}});
      influences[b].groups.push_back(std::move(group));
      parent = bone;
    }
    Kiv::StandardChunkHint hint(0, 0);
    chunk = Kiv::Ref<Kiv::GeometryChunk>(Kiv::GeometryChunk::Create(kVertices, 0, 0, 0, 0, hint));
    mesh.InitFromInfluences(kBones, influences, hardware, 1, &chunk);
    mesh.BindSkeleton(skeleton.get());
  }

  std::unique_ptr<Kiv::ParticleBone> skeleton = std::make_unique<Kiv::ParticleBone>();
  Kiv::InfluenceDefinition influences[kBones];
  Kiv::Ref<Kiv::GeometryChunk> chunk;
  VandruInfluenceMesh mesh;
};

void BM_SoftwareSkinning(benchmark::State& state) {
  Chain chain(0);
  uint32_t frame = 0;
  for (auto _ : state) {
    chain.mesh.Update(1, &chain.chunk, ++frame, 0);
    benchmark::DoNotOptimize(chain.chunk->GetFloats(Kiv::GeometryChunk::kPosition)[0]);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kVertices) * kBones);
  state.counters["vertex_influences_per_s"] = benchmark::Counter(
      double(kVertices) * kBones, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SoftwareSkinning);

void BM_DisplaySkinning(benchmark::State& state) {
  Chain chain(1);
  uint32_t frame = 0;
  for (auto _ : state) {
    chain.mesh.Update(1, &chain.chunk, ++frame, 0);
    benchmark::DoNotOptimize(chain.mesh.GetNode(kBones - 1).skinMatrix.m[0]);
  }
  state.SetItemsProcessed(state.iterations() * kBones);
}
BENCHMARK(BM_DisplaySkinning);

}  // namespace

BENCHMARK_MAIN();
