// The first command after a start of the daemon, against the number of
// assets installed: each iteration runs "VandruUtil status <kuid>" in an
// installation of N installed assets whose daemon is not running, so the
// tool starts the daemon, which opens its index, runs its recovery and
// answers; then, not timed, "closevaddaemon" ends it again. The index is
// intact, so the start reads the index and lists the asset folders, and
// reads no configuration:
//   BM_FirstCommandAfterStart/N          N = 0 and 50,000.
// With VU_BENCH_BASELINE naming another build tree (e.g. one of the code
// before a change), its tool and daemon run the same, in a copy of each
// installation (the same files and index), as
// BM_BaselineFirstCommandAfterStart/N, the pairs interleaved round by
// round so that each ratio is read from one run.
//
// Set-up (once, not timed): the installations' asset folders and index are
// written by the daemon's own store in this process (bench/StoreFill.h);
// the baseline gets a copy. "status" of an unknown asset (N = 0) exits
// 255, of an installed one 0. The work folder is made in TMPDIR (default
// /tmp) and removed at exit, the daemons closed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <iterator>
#include <string>

#include "bench/PairedRoots.h"
#include "bench/StoreFill.h"
#include "bench/ToolProcess.h"

namespace {

constexpr int kSizes[] = {0, 50000};
using toolbench::FillUserData;
using toolbench::KUIDOf;

toolbench::PairedRoots MakeSetup() {
  toolbench::PairedRoots setup;
  setup.Make("vu-bench-first", {std::begin(kSizes), std::end(kSizes)},
             [](const std::string& userData, int size) { return FillUserData(userData, size); });
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

void FirstCommand(benchmark::State& state, bool baseline) {
  const toolbench::PairedRoots& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed (tool, daemon or baseline not found, or a store error)");
    return;
  }
  const int size = int(state.range(0));
  const std::string& root = (baseline ? setup.baselineRoots : setup.roots).at(size);
  const int expected = size == 0 ? 255 : 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int status = toolbench::RunTool(root, {"status", KUIDOf(size == 0 ? 1 : size)});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    toolbench::CloseDaemon(root);
    if (status != expected) {
      state.SkipWithError("the command failed");
      return;
    }
  }
}

void BM_FirstCommandAfterStart(benchmark::State& state) {
  FirstCommand(state, false);
}

void BM_BaselineFirstCommandAfterStart(benchmark::State& state) {
  FirstCommand(state, true);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  constexpr int kRounds = 5;
  constexpr int kRuns = 10;
  const bool baseline = toolbench::PairedRoots::WantBaseline();
  for (int round = 0; round < kRounds; ++round) {
    for (const int size : kSizes) {
      if (baseline) {
        benchmark::RegisterBenchmark("BM_BaselineFirstCommandAfterStart",
                                     BM_BaselineFirstCommandAfterStart)
            ->Arg(size)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(kRuns)
            ->UseManualTime();
      }
      benchmark::RegisterBenchmark("BM_FirstCommandAfterStart", BM_FirstCommandAfterStart)
          ->Arg(size)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(kRuns)
          ->UseManualTime();
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (setupMade) GetSetup().Remove();
  return 0;
}
