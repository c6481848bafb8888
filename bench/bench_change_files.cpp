// The cost of one change of an asset against the number of its files: the
// real tool and daemon, each change a command of its own, into an
// installation whose daemon is running, for assets of 2 and 2,000 files
// (a config.txt and the other files, of 4 KB each, in a folder below it):
//   BM_InstallAssetFiles/N   "installfrompath" of a new asset of N files;
//   BM_EditAssetFiles/N      "edit" of it (its files copied to an edit copy);
//   BM_CommitAssetFiles/N    "commit" of it (copied back as the installed
//                            copy; the copy it replaces and the edit copy
//                            are then removed, which a file system that
//                            discards freed blocks at once makes dear);
//   BM_CopyAndSyncFiles/N    "cp -a" of the same folder, then "sync -f" of
//                            its file system: the least a durable copy costs.
// With VU_BENCH_BASELINE naming another build tree (e.g. one of the code
// before a change), its tool and daemon make the same changes in an
// installation of their own (BM_BaselineInstallAssetFiles/N and so on), the
// two builds' changes of a round one after the other, in the other order
// than the round before. At the end the medians are printed with their
// spread (lowest and highest), this build's over the baseline's (median of
// the rounds' ratios), and each change over cp -a + sync.
//
// Set-up (not timed): every round's asset folder is written (a new KUID
// each round), the installations laid out and their daemons started. The
// work folder is made in TMPDIR (default /tmp), which should be on the
// disk: a memory file system there takes the flushes out of the figures.
// It is removed at exit, the daemons closed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/PairedRoots.h"
#include "bench/RunStats.h"
#include "bench/ToolProcess.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSizes[] = {2, 2000};
constexpr int kRounds = 7;
constexpr int kUser = 341;
constexpr size_t kFileBytes = 4096;

enum Step { kInstall, kEdit, kCommit, kCopy };
const char* const kStepNames[] = {"install", "edit", "commit", "cp -a + sync"};

std::string Kuid(int size, int round) {
  return "<kuid:" + std::to_string(kUser) + ":" + std::to_string(size * 100 + round) + ">";
}

std::string SourceOf(const std::string& work, int size, int round) {
  return work + "/src/" + std::to_string(size) + "-" + std::to_string(round);
}

bool WriteAsset(const std::string& folder, int size, int round) {
  fs::create_directories(folder + "/files");
  std::ofstream(folder + "/config.txt")
      << "kuid " << Kuid(size, round) << "\nkind scenery\nusername \"Files " << size << "\"\n";
  const std::string bytes(kFileBytes, 'f');
  for (int i = 1; i < size; ++i) {
    std::ofstream file(folder + "/files/" + std::to_string(i) + ".bin", std::ios::binary);
    file << bytes;
    if (!file) return false;
  }
  return true;
}

toolbench::PairedRoots MakeSetup() {
  toolbench::PairedRoots setup;
  setup.Make("vu-bench-files", {std::begin(kSizes), std::end(kSizes)},
             [](const std::string& userData, int) { return fs::create_directories(userData); });
  if (!setup.ok) return setup;
  for (const int size : kSizes) {
    for (int round = 0; round < kRounds; ++round)
      setup.ok = setup.ok && WriteAsset(SourceOf(setup.work, size, round), size, round);
  }
  for (const auto& roots : {setup.roots, setup.baselineRoots}) {
    for (const auto& [size, root] : roots) toolbench::RunTool(root, {"version"});
  }
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

// The seconds of each run, by build (0 this one, 1 the baseline), step and
// size, in the order of the rounds.
std::map<int, std::vector<double>> times[2][4];

// Runs `step` of round `round` with the tool of the installation `root`;
// cp -a copies into the installation's UserData folder, beside the store's
// own folders, so that both write to the same part of the file system.
int RunStep(const std::string& work, const std::string& root, Step step, int size, int round) {
  const std::string source = SourceOf(work, size, round);
  switch (step) {
    case kInstall:
      return toolbench::RunTool(root, {"installfrompath", source});
    case kEdit:
      return toolbench::RunTool(root, {"edit", Kuid(size, round)});
    case kCommit:
      return toolbench::RunTool(root, {"commit", Kuid(size, round)});
    case kCopy: {
      const std::string copy = root + "/UserData/copy-" + std::to_string(round);
      const int copied = toolbench::RunProgram({"/bin/cp", "-a", source, copy}, work);
      return copied != 0 ? copied : toolbench::RunProgram({"/bin/sync", "-f", copy}, work);
    }
  }
  return -1;
}

void Change(benchmark::State& state, int build, Step step) {
  const toolbench::PairedRoots& setup = GetSetup();
  if (!setup.ok || (build == 1 && setup.baselineRoots.empty())) {
    state.SkipWithError("set-up failed (tool, daemon or baseline not found, or a write failed)");
    return;
  }
  const int size = int(state.range(0));
  const std::string& root = (build == 0 ? setup.roots : setup.baselineRoots).at(size);
  std::vector<double>& runs = times[build][step][size];
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int status = RunStep(setup.work, root, step, size, int(runs.size()));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (status != 0) {
      state.SkipWithError("the change failed");
      return;
    }
    state.SetIterationTime(took.count());
    runs.push_back(took.count());
  }
}

using toolbench::Median;
using toolbench::MedianRatio;

void PrintSummary() {
  for (const int size : kSizes) {
    const std::vector<double>& copy = times[0][kCopy][size];
    for (const Step step : {kInstall, kEdit, kCommit, kCopy}) {
      for (int build = 0; build < 2; ++build) {
        const std::vector<double>& runs = times[build][step][size];
        if (runs.empty() || (build == 1 && step == kCopy)) continue;
        const auto [low, high] = std::minmax_element(runs.begin(), runs.end());
        std::printf("%-13s %4d files, %-10s: median %8.1f ms (%.1f to %.1f, %zu runs)",
                    kStepNames[step], size, build == 0 ? "this build" : "baseline",
                    Median(runs) * 1000, *low * 1000, *high * 1000, runs.size());
        if (step != kCopy) std::printf(", over cp -a + sync %.2f", MedianRatio(runs, copy));
        if (build == 0 && step != kCopy && !times[1][step][size].empty())
          std::printf(", over the baseline %.2f", MedianRatio(runs, times[1][step][size]));
        std::printf("\n");
      }
    }
  }
}

// The benchmark of `step` of `build` for assets of `size` files.
void Register(int build, Step step, int size) {
  static const char* const kNames[2][4] = {
      {"BM_InstallAssetFiles", "BM_EditAssetFiles", "BM_CommitAssetFiles", "BM_CopyAndSyncFiles"},
      {"BM_BaselineInstallAssetFiles", "BM_BaselineEditAssetFiles", "BM_BaselineCommitAssetFiles",
       ""}};
  benchmark::RegisterBenchmark(
      kNames[build][step], [build, step](benchmark::State& state) { Change(state, build, step); })
      ->Arg(size)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->UseManualTime();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const bool baseline = toolbench::PairedRoots::WantBaseline();
  for (int round = 0; round < kRounds; ++round) {
    for (const int size : kSizes) {
      std::vector<int> builds = {0};
      if (baseline) builds.insert(round % 2 == 0 ? builds.end() : builds.begin(), 1);
      for (const int build : builds) {
        for (const Step step : {kInstall, kEdit, kCommit}) Register(build, step, size);
      }
      Register(0, kCopy, size);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintSummary();
  if (setupMade) GetSetup().Remove();
  return 0;
}
