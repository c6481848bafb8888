// LZSS coding against zlib's compress2 and uncompress at levels 1, 6 and 9,
// with memcpy as the limit, side by side on one corpus: the project's own
// sources (read from the source tree at run time), generated text soups and
// a block of random bytes. Bytes per second count the uncompressed bytes in
// both directions; the "ratio" counter is coded size / input size.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "foundation/lzss/LZSSDecoder.h"
#include "foundation/lzss/LZSSEncoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

void AppendSources(Bytes& out) {
  namespace fs = std::filesystem;
  // Not __FILE__: a compiler cache may make that path relative, and the
  // corpus would then depend on the folder the benchmark runs from.
  const fs::path root = VU_SOURCE_DIR;
  std::vector<fs::path> files;
  for (const char* folder : {"kiv", "foundation", "tests", "bench", "fuzz"}) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root / folder, ec), end; !ec && it != end;
         it.increment(ec)) {
      const auto ext = it->path().extension();
      if (it->is_regular_file() && (ext == ".cpp" || ext == ".h")) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    std::ifstream in(f, std::ios::binary);
    out.insert(out.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
}

void AppendTextSoups(Bytes& out, size_t bytes) {
  static const char* const kNames[] = {"kuid",      "username", "category-class", "mesh",
                                       "trackside", "texture",  "script",         "light"};
  std::mt19937 rng(17);
  std::string text;
  while (text.size() < bytes) {
    text += "asset-" + std::to_string(rng() % 5000) + "\n{\n";
    for (int i = 0; i < 8; ++i) {
      text += "  ";
      text += kNames[rng() % 8];
      text += i % 3 == 0 ? " <kuid:" + std::to_string(rng() % 700000) + ":" +
                               std::to_string(rng() % 3000) + ">\n"
                         : " \"" + std::to_string(rng() % 100000) + ".texture.txt\"\n";
    }
    text += "}\n";
  }
  out.insert(out.end(), text.begin(), text.end());
}

const Bytes& Corpus() {
  static const Bytes corpus = [] {
    Bytes c;
    AppendSources(c);
    AppendTextSoups(c, 1500000);
    std::mt19937 rng(3);
    for (int i = 0; i < 300000; ++i) c.push_back(static_cast<uint8_t>(rng()));
    return c;
  }();
  return corpus;
}

void Report(benchmark::State& state, size_t coded) {
  const size_t n = Corpus().size();
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
  state.counters["ratio"] = double(coded) / double(n);
  state.counters["MB"] = double(n) / 1e6;
}

void BM_LZSSCompress(benchmark::State& state) {
  const Bytes& in = Corpus();
  Bytes out(in.size() + 1);
  size_t coded = 0;
  for (auto _ : state) {
    coded = LZSSEncode(in.data(), in.size(), uint32_t(state.range(0)), out.data(), out.size());
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, coded);
}

void BM_LZSSDecompress(benchmark::State& state) {
  const Bytes& in = Corpus();
  const Bytes coded = LZSSEncodeToVector(in.data(), in.size(), uint32_t(state.range(0)));
  Bytes out(in.size());
  for (auto _ : state) {
    const int64_t n = LZSSDecode(coded.data(), coded.size(), out.data(), out.size());
    if (n != int64_t(in.size())) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  if (out != in) state.SkipWithError("round trip differs");
  Report(state, coded.size());
}

void BM_ZlibCompress(benchmark::State& state) {
  const Bytes& in = Corpus();
  Bytes out(compressBound(uLong(in.size())));
  uLongf coded = 0;
  for (auto _ : state) {
    coded = uLongf(out.size());
    compress2(out.data(), &coded, in.data(), uLong(in.size()), int(state.range(0)));
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, coded);
}

void BM_ZlibUncompress(benchmark::State& state) {
  const Bytes& in = Corpus();
  Bytes coded(compressBound(uLong(in.size())));
  uLongf codedSize = uLongf(coded.size());
  compress2(coded.data(), &codedSize, in.data(), uLong(in.size()), int(state.range(0)));
  Bytes out(in.size());
  for (auto _ : state) {
    uLongf n = uLongf(out.size());
    if (uncompress(out.data(), &n, coded.data(), codedSize) != Z_OK) state.SkipWithError("inflate");
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, codedSize);
}

void BM_Memcpy(benchmark::State& state) {
  const Bytes& in = Corpus();
  Bytes out(in.size());
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), in.size());
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, in.size());
}

}  // namespace

BENCHMARK(BM_LZSSCompress)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibCompress)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LZSSDecompress)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibUncompress)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
