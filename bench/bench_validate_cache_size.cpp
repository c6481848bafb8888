// The cost of a validation that compiles against the size of the
// compiled-script cache: the real tool and daemon, batches of 60
// "validate" lines, each naming a scripted asset that was never validated
// before (so its script is compiled and written into the cache), in two
// installations that differ only in what UserData/cache/libraries/ holds:
//   BM_CompilingValidations/0      an empty cache;
//   BM_CompilingValidations/20000  20,000 cached libraries, each with its
//                                  sources record (40,000 files).
// The counter "per_validation" is the time of one validation; the goal is
// that the full cache costs hardly more than the empty one. The two sizes
// run side by side, round by round, so their ratio is read from one run on
// one machine state.
//
// The tool and daemon are found as bench/ToolProcess.h says: VU_BENCH_BUILD
// names another build tree (e.g. one of the code before a change) to
// measure it the same way. The work folder is made in TMPDIR (default
// /tmp): a tmpfs there takes the disk's flushes (each library and record
// is synced) out of the figures. Set-up (not timed): lay out both installations,
// install every asset each round will validate (one folder per asset, its
// main.gs made unique by a comment), fill the cache of the second with
// libraries named as the cache names them but of other ids, and warm each
// daemon and command host with one validation. Nothing is removed before
// the end; the work folder goes at exit.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/ToolProcess.h"

namespace {

namespace fs = std::filesystem;

constexpr int kCacheSizes[] = {0, 20000};
constexpr int kValidations = 60;  // per timed batch
constexpr int kRounds = 5;        // batches per size
constexpr int kUser = 330;        // the assets' user id; content ids from 1

std::string Kuid(int content) {
  return "<kuid:" + std::to_string(kUser) + ":" + std::to_string(content) + ">";
}

void WriteAsset(const std::string& folder, int content) {
  fs::create_directories(folder);
  std::ofstream(folder + "/config.txt")
      << "kuid " << Kuid(content) << "\nusername \"Bench " << content
      << "\"\nkind \"scenery\"\nvandru-build 3.4\ncategory-class \"BA\"\nscript \"main.gs\"\n"
         "class \"Crate\"\n";
  std::ofstream(folder + "/main.gs") << "// asset " << content
                                     << "\ninclude \"gs.gs\"\nclass Crate isclass GameObject {\n"
                                        "  public int F() { return "
                                     << content << "; }\n};\n";
}

// `count` libraries and their records, named as the cache names its own
// ("%08x%08x.gsl") but with ids no asset here compiles to.
bool FillCache(const std::string& folder, int count) {
  fs::create_directories(folder);
  const std::string library(256, 'x');
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%08x%08x.gsl", 0x10000000u + unsigned(i) * 7919u,
                  0xbe000000u + unsigned(i));
    const std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary) << library;
    std::ofstream(path + ".sources") << "script library sources 1\n";
  }
  return fs::exists(folder);
}

struct Installation {
  int cacheSize = 0;
  std::string root;
  std::vector<std::string> batches;  // one per round
};

struct Setup {
  bool ok = false;
  std::string work;
  std::vector<Installation> installations;
};

Setup MakeSetup() {
  Setup setup;
  const toolbench::ToolPaths paths = toolbench::FindTool();
  if (!paths.Found()) return setup;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vu-bench-cache-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return setup;
  setup.work = pattern;
  // Content id 1 warms a daemon; every round validates assets of its own.
  const std::string assets = setup.work + "/assets";
  constexpr int kAssets = 1 + kRounds * kValidations;
  for (int content = 1; content <= kAssets; ++content)
    WriteAsset(assets + "/" + std::to_string(content), content);
  for (const int size : kCacheSizes) {
    Installation at;
    at.cacheSize = size;
    at.root = toolbench::LayOutRoot(paths, setup.work, "cache-" + std::to_string(size));
    if (at.root.empty()) return setup;
    if (toolbench::RunTool(at.root, {"installfrompath", assets}) != 0 ||
        !FillCache(at.root + "/UserData/cache/libraries", size) ||
        toolbench::RunTool(at.root, {"validate", Kuid(1)}) != 0) {
      toolbench::CloseDaemon(at.root);
      return setup;
    }
    for (int round = 0; round < kRounds; ++round) {
      const std::string batch =
          setup.work + "/batch-" + std::to_string(size) + "-" + std::to_string(round) + ".txt";
      std::ofstream out(batch);
      for (int i = 0; i < kValidations; ++i)
        out << "validate " << Kuid(2 + round * kValidations + i) << "\n";
      at.batches.push_back(batch);
    }
    setup.installations.push_back(at);
  }
  setup.ok = true;
  return setup;
}

bool setupMade = false;

const Setup& GetSetup() {
  static const Setup setup = [] {
    setupMade = true;
    return MakeSetup();
  }();
  return setup;
}

void BM_CompilingValidations(benchmark::State& state) {
  const Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed (tool or daemon not found, or an install failed)");
    return;
  }
  static int next[std::size(kCacheSizes)] = {};
  for (size_t i = 0; i < setup.installations.size(); ++i) {
    const Installation& at = setup.installations[i];
    if (at.cacheSize != state.range(0)) continue;
    for (auto _ : state) {
      if (next[i] >= kRounds) {
        state.SkipWithError("no batch left for this run");
        return;
      }
      if (toolbench::RunTool(at.root, {"@" + at.batches[next[i]++]}) != 0) {
        state.SkipWithError("a validation failed");
        return;
      }
    }
    state.counters["per_validation"] =
        benchmark::Counter(kValidations, benchmark::Counter::kIsIterationInvariantRate |
                                             benchmark::Counter::kInvert);
    return;
  }
  state.SkipWithError("no such installation");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int round = 0; round < kRounds; ++round) {
    for (const int size : kCacheSizes) {
      benchmark::RegisterBenchmark("BM_CompilingValidations", BM_CompilingValidations)
          ->Arg(size)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->UseRealTime();
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (setupMade) {
    for (const Installation& at : GetSetup().installations) toolbench::CloseDaemon(at.root);
  }
  if (setupMade && !GetSetup().work.empty()) fs::remove_all(GetSetup().work);
  return 0;
}
