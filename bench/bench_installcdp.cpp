// Installing an archive of 1,000 small assets with the real tool
// ("VandruUtil installcdp" into a fresh installation) beside "tar -x" of the
// same files into a fresh folder followed by "sync -f" on it (the same
// durability: the tool's install is on the disk when it reports it). Both
// run in one program, in pairs interleaved round by round, so the ratio is
// read from one run on one machine state:
//   BM_InstallCDP      from cold: the daemon is started by the command;
//   BM_InstallCDPWarm  with the installation's daemon already running;
//   BM_TarExtract      tar -x and sync -f.
//
// The tool and daemon are found beside this program in the build tree
// (<build>/cli/VandruUtil, <build>/vaddaemon/vaddaemon), or in the folder
// named by VU_BENCH_BIN. Set-up (once): install the 1,000 asset folders
// into a first installation, write the archive with "createcdp", and pack
// the same files with "tar -c". Each run lays out a new installation or
// folder (not timed) and times the command; daemons are closed after their
// run (not timed). Outputs are kept until the end (file creation slows
// down right after large deletions) and the work folder is removed at exit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/ToolProcess.h"

namespace {

namespace fs = std::filesystem;

constexpr int kAssets = 1000;
constexpr int kFirstContentId = 910000;

struct Setup {
  bool ok = false;
  std::string tool;
  std::string daemon;
  std::string work;
  std::string archive;
  std::string tarball;
};

using toolbench::RunProgram;

std::string MakeRoot(const Setup& setup, const std::string& name) {
  return toolbench::MakeRoot(toolbench::ToolPaths{setup.tool, setup.daemon, ""}, setup.work, name);
}

void CloseDaemon(const std::string& root) {
  toolbench::CloseDaemon(root);
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

Setup MakeSetup() {
  Setup setup;
  fs::path bin;
  if (const char* given = std::getenv("VU_BENCH_BIN")) {
    bin = given;
    setup.tool = (bin / "VandruUtil").string();
    setup.daemon = (bin / "vaddaemon").string();
  } else {
    const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
    setup.tool = (build / "cli/VandruUtil").string();
    setup.daemon = (build / "vaddaemon/vaddaemon").string();
  }
  if (!fs::exists(setup.tool) || !fs::exists(setup.daemon)) return setup;
  char pattern[] = "/tmp/vu-bench-installcdp-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return setup;
  setup.work = pattern;

  // 1,000 small assets: a configuration and two small files each.
  const std::string source = setup.work + "/assets";
  std::vector<std::string> createArgs;
  const std::string first = MakeRoot(setup, "first");
  createArgs = {first + "/bin/VandruUtil", "createcdp", setup.work + "/assets.cdp"};
  for (int i = 0; i < kAssets; ++i) {
    const std::string id = std::to_string(kFirstContentId + i);
    const std::string folder = source + "/asset" + id;
    fs::create_directories(folder);
    WriteFile(folder + "/config.txt",
              "kuid <kuid:321:" + id + ">\nkind scenery\nusername \"Bench " + id + "\"\n");
    WriteFile(folder + "/mesh.im", std::string(600 + i % 200, char('a' + i % 26)));
    WriteFile(folder + "/notes.txt", "asset " + id + "\n");
    createArgs.push_back("<kuid:321:" + id + ">");
  }
  if (RunProgram({first + "/bin/VandruUtil", "installfrompath", source}, first + "/bin") != 0)
    return setup;
  const int created = RunProgram(createArgs, first + "/bin");
  CloseDaemon(first);
  if (created != 0) return setup;
  setup.archive = setup.work + "/assets.cdp";
  setup.tarball = setup.work + "/assets.tar";
  if (RunProgram({"/bin/tar", "-cf", setup.tarball, "-C", source, "."}, setup.work) != 0)
    return setup;
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

// One timed install of the archive into a new installation; `warm` starts
// its daemon first (not timed).
void InstallRun(benchmark::State& state, bool warm) {
  const Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError(
        "set-up failed (tool or daemon not found, or the archive could not be made)");
    return;
  }
  static int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string root = MakeRoot(setup, "install" + std::to_string(run++));
    if (warm) RunProgram({root + "/bin/VandruUtil", "version"}, root + "/bin");
    state.ResumeTiming();
    const int status =
        RunProgram({root + "/bin/VandruUtil", "installcdp", setup.archive}, root + "/bin");
    state.PauseTiming();
    CloseDaemon(root);
    const bool installed =
        fs::exists(root + "/UserData/local/kuid 321 " + std::to_string(kFirstContentId));
    state.ResumeTiming();
    if (status != 0 || !installed) {
      state.SkipWithError("installcdp failed");
      return;
    }
  }
  state.counters["assets"] = kAssets;
}

void BM_InstallCDP(benchmark::State& state) {
  InstallRun(state, false);
}

void BM_InstallCDPWarm(benchmark::State& state) {
  InstallRun(state, true);
}

void BM_TarExtract(benchmark::State& state) {
  const Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed");
    return;
  }
  static int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string target = setup.work + "/tar" + std::to_string(run++);
    fs::create_directories(target);
    state.ResumeTiming();
    const int status = RunProgram({"/bin/tar", "-xf", setup.tarball, "-C", target}, setup.work);
    const int synced = RunProgram({"/bin/sync", "-f", target}, setup.work);
    if (status != 0 || synced != 0) {
      state.SkipWithError("tar -x or sync failed");
      return;
    }
  }
  state.counters["assets"] = kAssets;
}


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Rounds of pairs: each install is followed by its tar run.
  constexpr int kRounds = 5;
  for (int round = 0; round < kRounds; ++round) {
    benchmark::RegisterBenchmark("BM_InstallCDP", BM_InstallCDP)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
    benchmark::RegisterBenchmark("BM_TarExtract", BM_TarExtract)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
    benchmark::RegisterBenchmark("BM_InstallCDPWarm", BM_InstallCDPWarm)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
    benchmark::RegisterBenchmark("BM_TarExtract", BM_TarExtract)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // Every output is removed only now, with the work folder.
  if (setupMade && !GetSetup().work.empty()) fs::remove_all(GetSetup().work);
  return 0;
}
