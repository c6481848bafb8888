// One short command of the tool as a whole process, with the
// installation's daemon running ("VandruUtil version", "VandruUtil status
// <kuid:0:100>"), beside "git --version", the plain command-line tool a
// user compares it with. Pairs run interleaved round by round, so the ratio is
// read from one run; each iteration starts and waits for one process:
//   BM_ToolVersion  BM_ToolStatus  BM_GitVersion.
// With VU_BENCH_BASELINE naming another build tree (e.g. a copy kept from
// before a change), its tool runs too, in the same rounds, as
// BM_BaselineVersion and BM_BaselineStatus.
// Set-up (once, not timed): a fresh installation with the sample asset
// installed (its daemon starts then), one per build. The daemons are
// closed and the work folder removed at exit.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/ToolProcess.h"

namespace {

namespace fs = std::filesystem;

// The sample asset of the source tree, installed in the set-up.
constexpr const char* kStatusAsset = "<kuid:0:100>";

struct Setup {
  bool ok = false;
  std::string work;
  std::string root;
  std::string baselineRoot;  // empty without a baseline build
  std::string git;
};

// An installation of `paths` in `work` holding the sample asset.
std::string InstallSample(const toolbench::ToolPaths& paths, const std::string& work,
                          const std::string& name) {
  if (!paths.Found()) return std::string();
  const std::string root = toolbench::MakeRoot(paths, work, name);
  // The asset whose status is asked (its daemon starts here).
  const std::string sample = std::string(VU_SOURCE_DIR) + "/samples/sample-asset";
  return toolbench::RunTool(root, {"installfrompath", sample}) == 0 ? root : std::string();
}

Setup MakeSetup() {
  Setup setup;
  const toolbench::ToolPaths paths = toolbench::FindTool();
  if (!paths.Found()) return setup;
  for (const char* candidate : {"/usr/bin/git", "/usr/local/bin/git", "/bin/git"}) {
    if (fs::exists(candidate)) setup.git = candidate;
  }
  char pattern[] = "/tmp/vu-bench-startup-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return setup;
  setup.work = pattern;
  setup.root = InstallSample(paths, setup.work, "install");
  setup.ok = !setup.root.empty();
  if (const char* baseline = std::getenv("VU_BENCH_BASELINE")) {
    toolbench::ToolPaths other;
    other.build = baseline;
    other.tool = other.build + "/cli/VandruUtil";
    other.daemon = other.build + "/vaddaemon/vaddaemon";
    setup.baselineRoot = InstallSample(other, setup.work, "baseline");
    setup.ok = setup.ok && !setup.baselineRoot.empty();
  }
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

void RunToolCommand(benchmark::State& state, const std::vector<std::string>& command,
                    bool baseline) {
  const Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed (tool or daemon not found, or the daemon did not start)");
    return;
  }
  const std::string& root = baseline ? setup.baselineRoot : setup.root;
  for (auto _ : state) {
    if (toolbench::RunTool(root, command) != 0) {
      state.SkipWithError("the command failed");
      return;
    }
  }
}

void BM_ToolVersion(benchmark::State& state) {
  RunToolCommand(state, {"version"}, false);
}

void BM_BaselineVersion(benchmark::State& state) {
  RunToolCommand(state, {"version"}, true);
}

void BM_ToolStatus(benchmark::State& state) {
  RunToolCommand(state, {"status", kStatusAsset}, false);
}

void BM_BaselineStatus(benchmark::State& state) {
  RunToolCommand(state, {"status", kStatusAsset}, true);
}

void BM_GitVersion(benchmark::State& state) {
  const Setup& setup = GetSetup();
  if (setup.git.empty()) {
    state.SkipWithError("git not found");
    return;
  }
  for (auto _ : state) {
    if (toolbench::RunProgram({setup.git, "--version"}, setup.work) != 0) {
      state.SkipWithError("git --version failed");
      return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  constexpr int kRounds = 10;
  constexpr int kRuns = 20;
  const bool baseline = std::getenv("VU_BENCH_BASELINE") != nullptr;
  for (int round = 0; round < kRounds; ++round) {
    if (baseline) {
      benchmark::RegisterBenchmark("BM_BaselineVersion", BM_BaselineVersion)
          ->Unit(benchmark::kMillisecond)->Iterations(kRuns)->UseRealTime();
      benchmark::RegisterBenchmark("BM_BaselineStatus", BM_BaselineStatus)
          ->Unit(benchmark::kMillisecond)->Iterations(kRuns)->UseRealTime();
    }
    benchmark::RegisterBenchmark("BM_ToolVersion", BM_ToolVersion)
        ->Unit(benchmark::kMillisecond)->Iterations(kRuns)->UseRealTime();
    benchmark::RegisterBenchmark("BM_GitVersion", BM_GitVersion)
        ->Unit(benchmark::kMillisecond)->Iterations(kRuns)->UseRealTime();
    benchmark::RegisterBenchmark("BM_ToolStatus", BM_ToolStatus)
        ->Unit(benchmark::kMillisecond)->Iterations(kRuns)->UseRealTime();
    benchmark::RegisterBenchmark("BM_GitVersion", BM_GitVersion)
        ->Unit(benchmark::kMillisecond)->Iterations(kRuns)->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (setupMade && !GetSetup().work.empty()) {
    if (!GetSetup().root.empty()) toolbench::CloseDaemon(GetSetup().root);
    if (!GetSetup().baselineRoot.empty()) toolbench::CloseDaemon(GetSetup().baselineRoot);
    fs::remove_all(GetSetup().work);
  }
  return 0;
}
