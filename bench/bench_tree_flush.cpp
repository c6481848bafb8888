// The flush of a freshly written folder tree of N entries (the folder and
// N - 1 files of 4 KB), the two ways the store can make it durable
// (vaddaemon/TreeFlush.h):
//   BM_FlushFileByFile/N/P   one fsync per file and folder (SyncFolderTree);
//   BM_FlushFileSystem/N/P   one syncfs of its file system
//                            (SyncFileSystemOf), which also writes whatever
//                            else waits to be written there;
// for N = 2 to 64, each tree flushed P milliseconds after it was written:
// P = 0, flushes back to back, which leave the file system little of
// others' to write; P = 2000, as between a user's commands, while the other
// programs of the machine write on (on a machine of several developers, a
// build's output). The two of each pair run one after the other, in the
// other order than the round before. At the end the medians, means and
// spread (lowest and highest) are printed and, for each N and P, the median
// of the pairs' ratios (file by file over the file system): the store
// flushes file by file up to the largest N at which that costs less
// (kFlushFileByFileLimit). Run it on the disk the store uses, as loaded as
// it usually is.
//
// Set-up (not timed, per run): the tree is written; the work folder is made
// in TMPDIR (default /tmp) and removed at exit.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/RunStats.h"
#include "vaddaemon/FolderTree.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEntries[] = {2, 3, 4, 8, 16, 32, 64};
constexpr int kPausesMs[] = {0, 2000};
constexpr int kRounds = 10;
constexpr size_t kFileBytes = 4096;

// Runs per benchmark: back to back more, after a pause one.
int RunsPerRound(int pauseMs) {
  return pauseMs == 0 ? 4 : 1;
}

std::string MakeWork() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vu-bench-flush-XXXXXX";
  return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

const std::string& Work() {
  static const std::string work = MakeWork();
  return work;
}

// A new tree of `entries` entries below the work folder.
std::string WriteTree(int entries) {
  static int serial = 0;
  const std::string tree = Work() + "/tree-" + std::to_string(serial++);
  fs::create_directories(tree);
  const std::string bytes(kFileBytes, 't');
  for (int i = 1; i < entries; ++i)
    std::ofstream(tree + "/" + std::to_string(i) + ".bin", std::ios::binary) << bytes;
  return tree;
}

// The seconds of each run, by way (0 file by file, 1 the file system), N
// and P.
std::map<std::pair<int, int>, std::vector<double>> times[2];

void Flush(benchmark::State& state, int way) {
  if (Work().empty()) {
    state.SkipWithError("no work folder");
    return;
  }
  const int entries = int(state.range(0));
  const int pauseMs = int(state.range(1));
  for (auto _ : state) {
    const std::string tree = WriteTree(entries);
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    const auto start = std::chrono::steady_clock::now();
    const bool flushed = way == 0 ? SyncFolderTree(tree) : SyncFileSystemOf(tree);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!flushed) {
      state.SkipWithError("the flush failed");
      return;
    }
    state.SetIterationTime(took.count());
    times[way][{entries, pauseMs}].push_back(took.count());
  }
}
void BM_FlushFileByFile(benchmark::State& state) {
  Flush(state, 0);
}

void BM_FlushFileSystem(benchmark::State& state) {
  Flush(state, 1);
}

using toolbench::Mean;
using toolbench::Median;
using toolbench::MedianRatio;

void PrintSummary() {
  const char* ways[2] = {"file by file", "file system"};
  for (const int pauseMs : kPausesMs) {
    for (const int entries : kEntries) {
      const std::pair<int, int> key = {entries, pauseMs};
      for (int way = 0; way < 2; ++way) {
        const std::vector<double>& runs = times[way][key];
        if (runs.empty()) continue;
        const auto [low, high] = std::minmax_element(runs.begin(), runs.end());
        std::printf(
            "%3d entries, pause %4d ms, %-12s: median %7.2f ms, mean %7.2f ms (%.2f to "
            "%.2f, %zu runs)\n",
            entries, pauseMs, ways[way], Median(runs) * 1000, Mean(runs) * 1000, *low * 1000,
            *high * 1000, runs.size());
      }
      std::printf(
          "%3d entries, pause %4d ms, file by file over file system: %.2f (median of the "
          "pairs)\n",
          entries, pauseMs, MedianRatio(times[0][key], times[1][key]));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int round = 0; round < kRounds; ++round) {
    for (const int pauseMs : kPausesMs) {
      for (const int entries : kEntries) {
        std::vector<std::pair<const char*, void (*)(benchmark::State&)>> pair = {
            {"BM_FlushFileByFile", BM_FlushFileByFile}, {"BM_FlushFileSystem", BM_FlushFileSystem}};
        if (round % 2 == 1) std::swap(pair[0], pair[1]);
        for (const auto& [name, run] : pair) {
          benchmark::RegisterBenchmark(name, run)
              ->Args({entries, pauseMs})
              ->Unit(benchmark::kMillisecond)
              ->Iterations(RunsPerRound(pauseMs))
              ->UseManualTime();
        }
      }
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintSummary();
  if (!Work().empty()) fs::remove_all(Work());
  return 0;
}
