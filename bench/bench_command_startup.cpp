// One short command of the tool as a whole process, with the
// installation's daemon running ("VandruUtil version", "VandruUtil status
// <kuid:0:100>"), beside "git --version", the plain command-line tool a
// user compares it with. Pairs run interleaved round by round, so the ratio is
// read from one run; each iteration starts and waits for one process:
//   BM_ToolVersion  BM_ToolStatus  BM_GitVersion.
// Set-up (once, not timed): a fresh installation with the sample asset
// installed (its daemon starts then). Its daemon is closed and the work
// folder removed at exit.
#include <benchmark/benchmark.h>
#include <stdlib.h>

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
  std::string git;
};

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
  setup.root = toolbench::MakeRoot(paths, setup.work, "install");
  // The asset whose status is asked (its daemon starts here).
  setup.ok = toolbench::RunTool(setup.root, {"installfrompath",
                                             std::string(VU_SOURCE_DIR) + "/samples/sample-asset"}) == 0;
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

void RunToolCommand(benchmark::State& state, const std::vector<std::string>& command) {
  const Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed (tool or daemon not found, or the daemon did not start)");
    return;
  }
  for (auto _ : state) {
    if (toolbench::RunTool(setup.root, command) != 0) {
      state.SkipWithError("the command failed");
      return;
    }
  }
}

void BM_ToolVersion(benchmark::State& state) {
  RunToolCommand(state, {"version"});
}

void BM_ToolStatus(benchmark::State& state) {
  RunToolCommand(state, {"status", kStatusAsset});
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
  for (int round = 0; round < kRounds; ++round) {
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
  if (setupMade && !GetSetup().root.empty()) {
    toolbench::CloseDaemon(GetSetup().root);
    fs::remove_all(GetSetup().work);
  }
  return 0;
}
