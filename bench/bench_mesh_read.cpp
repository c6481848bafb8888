// Reading a 10 MB indexed mesh file: the file's bytes alone, against the
// same bytes read and loaded into a mesh definition. The loader should run
// at a good fraction of the plain read's speed.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "kiv/basics/MemoryFile.h"
#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
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

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  ::unlink(MeshPath().c_str());
  return 0;
}
