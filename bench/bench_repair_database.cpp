// A repair of the asset database against the start's rebuild of the same
// index from the asset folders, at 10,000 installed assets whose
// configurations are short (P = 0) or about 2 KB (P = 2048):
//   BM_RebuildAtStart/10000/P   "VandruUtil status <kuid:0:1>" in an
//       installation whose daemon is not running and whose index is
//       missing: the daemon the tool starts makes the index again from the
//       folders, then answers;
//   BM_RepairDatabase/10000/P   "VandruUtil repairdatabase" with the daemon
//       running: the tool starts the repair, waits its fixed second, then
//       polls every 250 ms until the repair has checked every asset.
// With VU_BENCH_BASELINE naming another build tree (e.g. one of the code
// before a change), its tool and daemon run the same, in a copy of each
// installation, as BM_BaselineRebuildAtStart and BM_BaselineRepairDatabase,
// the pairs interleaved round by round so that each ratio is read from one
// run.
//
// Not timed: the set-up (bench/StoreFill.h writes the installations, once;
// the baseline gets a copy), the index of the last start renamed aside
// before each rebuild, the daemon's close after it, and the start of the
// daemon before the repairs. The work folder is made in TMPDIR (default
// /tmp) and removed at exit, the daemons closed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "bench/PairedRoots.h"
#include "bench/StoreFill.h"
#include "bench/ToolProcess.h"

namespace {

namespace fs = std::filesystem;
using toolbench::KUIDOf;

constexpr int kAssets = 10000;
constexpr int kPaddings[] = {0, 2048};

toolbench::PairedRoots MakeSetup() {
  toolbench::PairedRoots setup;
  setup.Make("vu-bench-repair", {std::begin(kPaddings), std::end(kPaddings)},
             [](const std::string& userData, int padding) {
               return toolbench::FillUserData(userData, kAssets, size_t(padding));
             });
  return setup;
}

bool setupMade = false;

const toolbench::PairedRoots& GetSetup() {
  static const toolbench::PairedRoots setup = [] {
    setupMade = true;
    return MakeSetup();
  }();
  return setup;
}

// The root a benchmark works in, or "" (the benchmark skipped) without one.
std::string RootFor(benchmark::State& state, bool baseline) {
  const toolbench::PairedRoots& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed (tool, daemon or baseline not found, or a store error)");
    return std::string();
  }
  return (baseline ? setup.baselineRoots : setup.roots).at(int(state.range(1)));
}

// Runs one command of the tool in `root`; its time in seconds, or a
// negative one when it did not exit with 0.
double TimedCommand(const std::string& root, const std::vector<std::string>& args) {
  const auto start = std::chrono::steady_clock::now();
  const int status = toolbench::RunTool(root, args);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return status == 0 ? took.count() : -1.0;
}

void RebuildAtStart(benchmark::State& state, bool baseline) {
  const std::string root = RootFor(state, baseline);
  if (root.empty()) return;
  const std::string index = root + "/UserData/assets.tdx";
  toolbench::CloseDaemon(root);
  int aside = 0;
  for (auto _ : state) {
    std::error_code error;
    fs::rename(index, index + ".bench-" + std::to_string(aside++), error);
    const double took = TimedCommand(root, {"status", KUIDOf(1)});
    toolbench::CloseDaemon(root);
    if (took < 0) {
      state.SkipWithError("the command failed");
      return;
    }
    state.SetIterationTime(took);
  }
}

void RepairDatabase(benchmark::State& state, bool baseline) {
  const std::string root = RootFor(state, baseline);
  if (root.empty()) return;
  toolbench::RunTool(root, {"status", KUIDOf(1)});
  for (auto _ : state) {
    const double took = TimedCommand(root, {"repairdatabase"});
    if (took < 0) {
      state.SkipWithError("the repair failed");
      return;
    }
    state.SetIterationTime(took);
  }
}

void BM_RebuildAtStart(benchmark::State& state) {
  RebuildAtStart(state, false);
}

void BM_BaselineRebuildAtStart(benchmark::State& state) {
  RebuildAtStart(state, true);
}

void BM_RepairDatabase(benchmark::State& state) {
  RepairDatabase(state, false);
}

void BM_BaselineRepairDatabase(benchmark::State& state) {
  RepairDatabase(state, true);
}

void Register(const char* name, void (*run)(benchmark::State&), int padding) {
  constexpr int kRuns = 1;
  benchmark::RegisterBenchmark(name, run)
      ->Args({kAssets, padding})
      ->Unit(benchmark::kMillisecond)
      ->Iterations(kRuns)
      ->UseManualTime();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  constexpr int kRounds = 3;
  const bool baseline = toolbench::PairedRoots::WantBaseline();
  for (int round = 0; round < kRounds; ++round) {
    for (const int padding : kPaddings) {
      if (baseline) Register("BM_BaselineRebuildAtStart", BM_BaselineRebuildAtStart, padding);
      Register("BM_RebuildAtStart", BM_RebuildAtStart, padding);
      if (baseline) Register("BM_BaselineRepairDatabase", BM_BaselineRepairDatabase, padding);
      Register("BM_RepairDatabase", BM_RepairDatabase, padding);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (setupMade) GetSetup().Remove();
  return 0;
}
