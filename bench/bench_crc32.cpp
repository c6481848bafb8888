// Crc32Buffer against zlib's crc32 on the same buffers, side by side.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "foundation/text/Crc32.h"

namespace {

std::vector<unsigned char> RandomBytes(size_t n) {
  std::mt19937 rng(42);
  std::vector<unsigned char> data(n);
  for (auto& b : data) b = static_cast<unsigned char>(rng());
  return data;
}

void BM_Crc32Buffer(benchmark::State& state) {
  const auto data = RandomBytes(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Crc32Buffer(data.data(), data.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_ZlibCrc32(benchmark::State& state) {
  const auto data = RandomBytes(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0L, data.data(), uInt(data.size())));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_Crc32Buffer)->Arg(4 << 10)->Arg(1 << 20);
BENCHMARK(BM_ZlibCrc32)->Arg(4 << 10)->Arg(1 << 20);

BENCHMARK_MAIN();
