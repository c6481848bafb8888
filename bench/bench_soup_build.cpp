// Building, rewriting and walking a soup tag by tag, at 10,000 and 100,000
// tags. Each should grow linearly with the number of tags: compare the
// per-tag times (items per second) of the two sizes.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "foundation/soup/Soup.h"

namespace {

std::vector<Kiv::PString> Names(int64_t n) {
  std::vector<Kiv::PString> names;
  names.reserve(size_t(n));
  for (int64_t i = 0; i < n; ++i) names.emplace_back("tag" + std::to_string(i));
  return names;
}

// New names, one after another (what reading a file does).
void BM_SoupBuild(benchmark::State& state) {
  const auto names = Names(state.range(0));
  for (auto _ : state) {
    Soup soup;
    for (size_t i = 0; i < names.size(); ++i) soup.SetNamedInt(names[i], int32_t(i));
    benchmark::DoNotOptimize(soup.CountTags());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

// Every tag set a second time: each setter removes an existing child.
void BM_SoupRewrite(benchmark::State& state) {
  const auto names = Names(state.range(0));
  for (auto _ : state) {
    Soup soup;
    for (size_t i = 0; i < names.size(); ++i) soup.SetNamedInt(names[i], int32_t(i));
    for (size_t i = 0; i < names.size(); ++i) soup.SetNamedInt(names[i], int32_t(i + 1));
    benchmark::DoNotOptimize(soup.CountTags());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0) * 2);
}

// Reading every tag by index and by name.
void BM_SoupWalk(benchmark::State& state) {
  const auto names = Names(state.range(0));
  Soup soup;
  for (size_t i = 0; i < names.size(); ++i) soup.SetNamedInt(names[i], int32_t(i));
  for (auto _ : state) {
    int64_t sum = 0;
    for (uint32_t i = 0; i < soup.CountTags(); ++i) {
      sum += soup.GetNamedTagAsInt(soup.GetIndexedTagName(i), 0);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_SoupBuild)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoupRewrite)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoupWalk)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
