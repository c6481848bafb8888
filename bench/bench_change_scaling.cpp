// The cost of one change of the asset database against the number of
// assets installed: the real tool and daemon, each change a request of its
// own (one line of a batch file), into installations of 1, 1,000 and 10,000
// assets whose daemons are running:
//   BM_Installs/N      a batch of 100 "installfrompath" lines, each naming
//                      the folder of one new asset;
//   BM_EditCommits/N   a batch of 100 "edit" and "commit" pairs of installed
//                      assets;
//   BM_InstallBatch    a batch of 1,000 "installfrompath" lines of one asset
//                      each into a new installation (its daemon started
//                      before the run).
//   BM_ReplaceBatch    the same batch into a new installation (first
//                      installs, not timed, counter "first_ms"), then again
//                      (replacements of the same assets, timed); counter
//                      "ratio" is the second over the first. With
//                      VU_BENCH_BASELINE naming another build tree (e.g. one
//                      of the code before a change), BM_BaselineReplaceBatch
//                      does the same with its tool and daemon, each round's
//                      pair in the other order than the round before, and the
//                      medians are printed at the end: replacements over
//                      first installs for each build, and this build's
//                      replacements over the baseline's.
// Every asset installed before names the one before it as a dependency, and
// every new one a KUID that is not installed, so each change has its
// missing-dependency mark to keep. The counter "per_change" is the time of
// one change; the goal is that it hardly grows with the installation.
// Everything runs in one program, round by round, the sizes side by side in
// each round, so each ratio is read from one run on one machine state.
//
// The tool and daemon are found as bench/ToolProcess.h says: VU_BENCH_BUILD
// names another build tree (e.g. one of the code before a change) to
// measure it the same way. The work folder is made in TMPDIR (default
// /tmp): a tmpfs there takes the disk's flushes out of the figures. Set-up (not timed): write every
// asset folder and batch file, lay out the three installations and install their assets. Nothing is
// removed before the end; the work folder goes at exit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/PairedRoots.h"
#include "bench/RunStats.h"
#include "bench/ToolProcess.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSizes[] = {1, 1000, 10000};
constexpr int kChanges = 100;      // changes per timed batch
constexpr int kRounds = 5;         // batches per benchmark
constexpr int kBatchLines = 1000;  // lines of BM_InstallBatch
constexpr int kReplaceRounds = 9;  // runs of BM_ReplaceBatch (and its baseline)
constexpr int kFillUser = 322;     // the assets installed at set-up
constexpr int kNewUser = 323;      // the assets the timed installs add
constexpr int kBatchUser = 324;    // the assets of BM_InstallBatch
const char kAbsent[] = "<kuid:325:1>";

using toolbench::RunProgram;

std::string Kuid(int user, int content) {
  return "<kuid:" + std::to_string(user) + ":" + std::to_string(content) + ">";
}

void WriteAsset(const std::string& folder, int user, int content, const std::string& dependency) {
  fs::create_directories(folder);
  std::ofstream(folder + "/config.txt")
      << "kuid " << Kuid(user, content) << "\nkind scenery\nusername \"Bench " << user << ":"
      << content << "\"\nkuid-table\n{\n  0 " << dependency << "\n}\n";
  std::ofstream(folder + "/notes.txt") << "asset " << content << "\n";
}

struct Installation {
  int size = 0;
  std::string root;
  std::vector<std::string> installBatches;  // one per round
  std::vector<std::string> commitBatches;   // one per round
};

struct Setup {
  bool ok = false;
  toolbench::ToolPaths paths;
  std::string work;
  std::vector<Installation> installations;
  std::string batch;  // BM_InstallBatch's batch file
};

// The batch files of the timed runs into `at`: each round installs its own
// new assets and edits and commits its own installed ones.
void WriteBatches(const Setup& setup, Installation& at) {
  for (int round = 0; round < kRounds; ++round) {
    const std::string name = std::to_string(at.size) + "-" + std::to_string(round);
    std::ofstream installs(setup.work + "/installs-" + name + ".txt");
    std::ofstream commits(setup.work + "/commits-" + name + ".txt");
    for (int i = 0; i < kChanges; ++i) {
      const int content = (at.size * kRounds + round) * kChanges + i;
      const std::string folder = setup.work + "/new/" + std::to_string(content);
      WriteAsset(folder, kNewUser, content, kAbsent);
      installs << "\"installfrompath\" \"" << folder << "\"\n";
      const std::string edited = Kuid(kFillUser, (round * kChanges + i) % at.size);
      commits << "\"edit\" \"" << edited << "\"\n\"commit\" \"" << edited << "\"\n";
    }
    at.installBatches.push_back(setup.work + "/installs-" + name + ".txt");
    at.commitBatches.push_back(setup.work + "/commits-" + name + ".txt");
  }
}

// BM_InstallBatch's assets and batch file in `work`: the file's path, or ""
// when it could not be written.
std::string WriteBatchFile(const std::string& work) {
  const std::string path = work + "/batch.txt";
  std::ofstream batch(path);
  for (int i = 0; i < kBatchLines; ++i) {
    const std::string folder = work + "/batch/" + std::to_string(i);
    WriteAsset(folder, kBatchUser, i, i == 0 ? std::string(kAbsent) : Kuid(kBatchUser, i - 1));
    batch << "\"installfrompath\" \"" << folder << "\"\n";
  }
  return batch.good() ? path : std::string();
}

Setup MakeSetup() {
  Setup setup;
  setup.paths = toolbench::FindTool();
  if (!setup.paths.Found()) return setup;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vu-bench-changes-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return setup;
  setup.work = pattern;
  for (const int size : kSizes) {
    Installation at;
    at.size = size;
    const std::string fill = setup.work + "/fill-" + std::to_string(size);
    for (int i = 0; i < size; ++i)
      WriteAsset(fill + "/" + std::to_string(i), kFillUser, i,
                 i == 0 ? std::string(kAbsent) : Kuid(kFillUser, i - 1));
    at.root = toolbench::MakeRoot(setup.paths, setup.work, "size-" + std::to_string(size));
    if (toolbench::RunTool(at.root, {"installfrompath", fill}) != 0) {
      toolbench::CloseDaemon(at.root);
      return setup;
    }
    WriteBatches(setup, at);
    setup.installations.push_back(at);
  }
  setup.batch = WriteBatchFile(setup.work);
  setup.ok = !setup.batch.empty();
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

// Runs the next batch of `batches` with the tool of `root`, timed.
void BatchRun(benchmark::State& state, const std::string& root,
              const std::vector<std::string>& batches, int& next) {
  for (auto _ : state) {
    if (next >= static_cast<int>(batches.size())) {
      state.SkipWithError("no batch left for this run");
      return;
    }
    const int status = toolbench::RunTool(root, {"@" + batches[next++]});
    if (status != 0) {
      state.SkipWithError("the batch failed");
      return;
    }
  }
  state.counters["per_change"] = benchmark::Counter(
      kChanges, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Changes(benchmark::State& state, bool commits) {
  const Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed (tool or daemon not found, or an install failed)");
    return;
  }
  static int next[2][std::size(kSizes)] = {};
  for (size_t i = 0; i < setup.installations.size(); ++i) {
    const Installation& at = setup.installations[i];
    if (at.size != state.range(0)) continue;
    BatchRun(state, at.root, commits ? at.commitBatches : at.installBatches, next[commits][i]);
    return;
  }
  state.SkipWithError("no such installation");
}

void BM_Installs(benchmark::State& state) {
  Changes(state, false);
}

void BM_EditCommits(benchmark::State& state) {
  Changes(state, true);
}

void BM_InstallBatch(benchmark::State& state) {
  const Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed");
    return;
  }
  static int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string root =
        toolbench::MakeRoot(setup.paths, setup.work, "batch-" + std::to_string(run++));
    toolbench::RunTool(root, {"version"});
    state.ResumeTiming();
    const int status = toolbench::RunTool(root, {"@" + setup.batch});
    state.PauseTiming();
    toolbench::CloseDaemon(root);
    const bool installed = fs::exists(root + "/UserData/local/kuid " + std::to_string(kBatchUser) +
                                      " " + std::to_string(kBatchLines - 1));
    state.ResumeTiming();
    if (status != 0 || !installed) {
      state.SkipWithError("the batch failed");
      return;
    }
  }
  state.counters["per_change"] = benchmark::Counter(
      kBatchLines, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// BM_ReplaceBatch's own work folder (not the installations of Setup).
struct ReplaceSetup {
  bool ok = false;
  std::string work;
  std::string batch;
  toolbench::ToolPaths tools[2];  // this build, the baseline
};

bool replaceSetupMade = false;

const ReplaceSetup& GetReplaceSetup() {
  static const ReplaceSetup setup = [] {
    replaceSetupMade = true;
    ReplaceSetup made;
    made.tools[0] = toolbench::FindTool();
    made.tools[1] = toolbench::PairedRoots::BaselineTool();
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vu-bench-replace-XXXXXX";
    if (!made.tools[0].Found() || ::mkdtemp(pattern.data()) == nullptr) return made;
    made.work = pattern;
    made.batch = WriteBatchFile(made.work);
    made.ok = !made.batch.empty();
    return made;
  }();
  return setup;
}

// The seconds of each timed batch, by build (this one, the baseline).
std::vector<double> firstTimes[2];
std::vector<double> replaceTimes[2];

double Seconds(const std::chrono::steady_clock::time_point& since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void ReplaceBatch(benchmark::State& state, int build) {
  const ReplaceSetup& setup = GetReplaceSetup();
  if (!setup.ok || !setup.tools[build].Found()) {
    state.SkipWithError("set-up failed (tool, daemon or baseline not found)");
    return;
  }
  static int run = 0;
  const std::string last = "/UserData/local/kuid " + std::to_string(kBatchUser) + " " +
                           std::to_string(kBatchLines - 1) + "~";
  for (auto _ : state) {
    const std::string root =
        toolbench::MakeRoot(setup.tools[build], setup.work, "replace-" + std::to_string(run++));
    toolbench::RunTool(root, {"version"});
    const auto start = std::chrono::steady_clock::now();
    const int first = toolbench::RunTool(root, {"@" + setup.batch});
    const double firstTime = Seconds(start);
    const auto again = std::chrono::steady_clock::now();
    const int replaced = toolbench::RunTool(root, {"@" + setup.batch});
    const double replaceTime = Seconds(again);
    toolbench::CloseDaemon(root);
    if (first != 0 || replaced != 0 || !fs::exists(root + last)) {
      state.SkipWithError("the batch failed");
      return;
    }
    state.SetIterationTime(replaceTime);
    state.counters["first_ms"] = firstTime * 1000;
    state.counters["ratio"] = replaceTime / firstTime;
    firstTimes[build].push_back(firstTime);
    replaceTimes[build].push_back(replaceTime);
  }
}

void BM_ReplaceBatch(benchmark::State& state) {
  ReplaceBatch(state, 0);
}

void BM_BaselineReplaceBatch(benchmark::State& state) {
  ReplaceBatch(state, 1);
}

using toolbench::Median;
using toolbench::MedianRatio;

void PrintReplaceRatios() {
  const char* builds[2] = {"this build", "baseline"};
  for (int build = 0; build < 2; ++build) {
    if (replaceTimes[build].empty()) continue;
    std::printf(
        "%s: %d replacements %.0f ms, first installs %.0f ms (medians of %zu runs); "
        "replacements over first installs: %.3f (median of the runs' ratios)\n",
        builds[build], kBatchLines, Median(replaceTimes[build]) * 1000,
        Median(firstTimes[build]) * 1000, replaceTimes[build].size(),
        MedianRatio(replaceTimes[build], firstTimes[build]));
  }
  if (replaceTimes[0].empty() || replaceTimes[1].empty()) return;
  std::printf(
      "this build over the baseline (median of the rounds' ratios): replacements %.3f, first "
      "installs %.3f\n",
      MedianRatio(replaceTimes[0], replaceTimes[1]), MedianRatio(firstTimes[0], firstTimes[1]));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int round = 0; round < kRounds; ++round) {
    for (auto* run : {BM_Installs, BM_EditCommits}) {
      for (const int size : kSizes) {
        benchmark::RegisterBenchmark(run == BM_Installs ? "BM_Installs" : "BM_EditCommits", run)
            ->Arg(size)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->UseRealTime();
      }
    }
    benchmark::RegisterBenchmark("BM_InstallBatch", BM_InstallBatch)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->UseRealTime();
  }
  for (int round = 0; round < kReplaceRounds; ++round) {
    std::vector<std::pair<const char*, void (*)(benchmark::State&)>> pair = {
        {"BM_ReplaceBatch", BM_ReplaceBatch}};
    if (toolbench::PairedRoots::WantBaseline())
      pair.insert(round % 2 == 0 ? pair.end() : pair.begin(),
                  {"BM_BaselineReplaceBatch", BM_BaselineReplaceBatch});
    for (const auto& [name, run] : pair) {
      benchmark::RegisterBenchmark(name, run)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->UseManualTime();
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintReplaceRatios();
  if (setupMade) {
    for (const Installation& at : GetSetup().installations) toolbench::CloseDaemon(at.root);
  }
  // Every output is removed only now, with the work folder.
  if (setupMade && !GetSetup().work.empty()) fs::remove_all(GetSetup().work);
  if (replaceSetupMade && !GetReplaceSetup().work.empty()) fs::remove_all(GetReplaceSetup().work);
  return 0;
}
