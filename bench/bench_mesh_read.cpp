// Reading a 10 MB indexed mesh file: the file's bytes alone, against the
// same bytes read and loaded into a mesh definition. The loader should run
// at a good fraction of the plain read's speed.
//
// Loading a 100,000-triangle indexed mesh from memory (the reader and the
// post-load passes: skeleton, skinning, bounds, texture scale, oriented
// box), against copying its bytes: the ratio of the two times is the
// figure to report.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "kiv/basics/MemoryFile.h"
#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "render/meshes/MeshMeasures.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"
#include "tests/render/MeshFixtureWriter.h"

namespace {

// Ten chunks of 20000 vertices (two texture sets, colours) and 60000
// indices each: about 10 MB.
const std::string& MeshPath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/vu-bench-mesh-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd >= 0) ::close(fd);
    meshfixture::MeshSpec spec;
    spec.chunks.clear();
    for (int c = 0; c < 10; ++c) {
      meshfixture::ChunkSpec chunk;
      chunk.geometry.version = 150;
      chunk.geometry.vertices = 20000;
      chunk.geometry.faces = 20000;
      chunk.geometry.faceNormals = 20000;
      chunk.geometry.indices.resize(60000);
      for (size_t i = 0; i < chunk.geometry.indices.size(); ++i)
        chunk.geometry.indices[i] = uint16_t(i % 20000);
      spec.chunks.push_back(chunk);
    }
    const std::vector<uint8_t> bytes = meshfixture::WriteMesh(spec);
    std::ofstream(pattern, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return std::string(pattern);
  }();
  return path;
}

void BM_ReadMeshFileBytes(benchmark::State& state) {
  for (auto _ : state) {
    Kiv::MemoryFile file;
    if (!file.Open(MeshPath())) state.SkipWithError("cannot read the mesh file");
    benchmark::DoNotOptimize(file.Base());
    state.SetBytesProcessed(state.bytes_processed() + int64_t(file.Size()));
  }
}
BENCHMARK(BM_ReadMeshFileBytes)->Unit(benchmark::kMillisecond);

void BM_LoadMeshFile(benchmark::State& state) {
  Kiv::MaterialManager manager;
  Kiv::Display display;
  for (auto _ : state) {
    VandruIndexedMeshDefinition mesh;
    if (!mesh.GetMemoryFile().Open(MeshPath())) state.SkipWithError("cannot read the mesh file");
    const int64_t size = int64_t(mesh.GetMemoryFile().Size());
    if (mesh.Load(&display, &manager, nullptr, 0, 0xFFFFFFFF) != kMeshOk)
      state.SkipWithError("load failed");
    state.SetBytesProcessed(state.bytes_processed() + size);
  }
}
BENCHMARK(BM_LoadMeshFile)->Unit(benchmark::kMillisecond);

// Four chunks of 25,000 triangles over 12,500 vertices each, with bones.
const std::vector<uint8_t>& TriangleMesh() {
  static const std::vector<uint8_t> bytes = [] {
    meshfixture::MeshSpec spec;
    spec.chunks.clear();
    for (int c = 0; c < 4; ++c) {
      meshfixture::ChunkSpec chunk;
      chunk.geometry.vertices = 12500;
      chunk.geometry.faces = 25000;
      chunk.geometry.faceNormals = 25000;
      chunk.geometry.indices.resize(75000);
      for (size_t i = 0; i < chunk.geometry.indices.size(); ++i)
        chunk.geometry.indices[i] = uint16_t((i / 3 + i % 3) % 12500);
      chunk.neighbours = false;
      spec.chunks.push_back(chunk);
    }
    spec.influences = true;
    spec.influenceList = {{"root", "", {{0, {{0, 1.0f}, {1, 0.5f}}}}}, {"arm", "root", {}}};
    return meshfixture::WriteMesh(spec);
  }();
  return bytes;
}

void BM_CopyTriangleMeshBytes(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = TriangleMesh();
  for (auto _ : state) {
    Kiv::MemoryFile file;
    file.Assign(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(file.Base());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_CopyTriangleMeshBytes)->Unit(benchmark::kMicrosecond);

void BM_LoadTriangleMeshFromMemory(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = TriangleMesh();
  Kiv::MaterialManager manager;
  Kiv::Display display;
  for (auto _ : state) {
    VandruIndexedMeshDefinition mesh;
    mesh.GetMemoryFile().Assign(bytes.data(), bytes.size());
    if (mesh.Load(&display, &manager, nullptr, 0, 0xFFFFFFFF) != kMeshOk ||
        mesh.GetNumFaces() != 100000)
      state.SkipWithError("load failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_LoadTriangleMeshFromMemory)->Unit(benchmark::kMicrosecond);

// Measuring the chunks of the 10 MB mesh once loaded (texture scale,
// bounds and oriented box, the box's sums taken by the measures).
void BM_MeasureLoadedChunks(benchmark::State& state) {
  Kiv::MaterialManager manager;
  Kiv::Display display;
  VandruIndexedMeshDefinition mesh;
  if (!mesh.GetMemoryFile().Open(MeshPath()) ||
      mesh.Load(&display, &manager, nullptr, 0, 0xFFFFFFFF) != kMeshOk)
    state.SkipWithError("load failed");
  for (auto _ : state) {
    MeshMeasures measures;
    measures.Reset(true);
    for (uint32_t c = 0; c < mesh.GetNumChunks(); ++c) measures.AddChunk(*mesh.GetChunk(c));
    benchmark::DoNotOptimize(measures.TextureScale());
  }
}
BENCHMARK(BM_MeasureLoadedChunks)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  ::unlink(MeshPath().c_str());
  return 0;
}
