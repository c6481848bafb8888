// Installing 1,000 small assets with the real tool into a fresh
// installation, beside the plain tools that write the same files with the
// same durability (the tool's install is on the disk when it reports it):
//   BM_InstallCDP           "VandruUtil installcdp" of an archive of them,
//                           from cold: the daemon is started by the command;
//   BM_InstallCDPWarm       the same with the installation's daemon running;
//   BM_TarExtract           "tar -x" of the same files into a fresh folder,
//                           then "sync -f" on it;
//   BM_InstallFromPath      "VandruUtil installfrompath" of the folder that
//                           holds the 1,000 asset folders, from cold;
//   BM_InstallFromPathWarm  the same with the daemon running;
//   BM_CopyTree             "cp -r" of that folder, then "sync -f".
// Everything runs in one program, in pairs interleaved round by round (each
// run of the tool is followed by one of its plain counterpart), so each
// ratio is read from one run on one machine state.
//
// The tool and daemon are found as bench/ToolProcess.h says (this build
// tree, the one named by VU_BENCH_BUILD, or the folder named by
// VU_BENCH_BIN). Set-up (once): write the 1,000 asset folders, install them
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
  toolbench::ToolPaths paths;
  std::string work;
  std::string source;  // the folder holding the asset folders
  std::string archive;
  std::string tarball;
};

using toolbench::RunProgram;

std::string MakeRoot(const Setup& setup, const std::string& name) {
  return toolbench::MakeRoot(setup.paths, setup.work, name);
}

void CloseDaemon(const std::string& root) {
  toolbench::CloseDaemon(root);
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

Setup MakeSetup() {
  Setup setup;
  setup.paths = toolbench::FindTool();
  if (!setup.paths.Found()) return setup;
  char pattern[] = "/tmp/vu-bench-installcdp-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return setup;
  setup.work = pattern;

  // 1,000 small assets: a configuration and two small files each.
  const std::string source = setup.work + "/assets";
  setup.source = source;
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

// One timed install into a new installation with `command` (and its
// input); `warm` starts its daemon first (not timed).
void InstallRun(benchmark::State& state, const std::string& command, bool warm) {
  const Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError(
        "set-up failed (tool or daemon not found, or the archive could not be made)");
    return;
  }
  static int run = 0;
  const std::string& input = command == "installcdp" ? setup.archive : setup.source;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string root = MakeRoot(setup, "install" + std::to_string(run++));
    if (warm) RunProgram({root + "/bin/VandruUtil", "version"}, root + "/bin");
    state.ResumeTiming();
    const int status = RunProgram({root + "/bin/VandruUtil", command, input}, root + "/bin");
    state.PauseTiming();
    CloseDaemon(root);
    const bool installed =
        fs::exists(root + "/UserData/local/kuid 321 " + std::to_string(kFirstContentId)) &&
        fs::exists(root + "/UserData/local/kuid 321 " +
                   std::to_string(kFirstContentId + kAssets - 1));
    state.ResumeTiming();
    if (status != 0 || !installed) {
      state.SkipWithError((command + " failed").c_str());
      return;
    }
  }
  state.counters["assets"] = kAssets;
}

// Runs the plain tools `args` into a new folder of the work folder (its
// path in place of "TARGET"), then "sync -f" on that folder.
void PlainRun(benchmark::State& state, std::vector<std::string> args) {
  const Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed");
    return;
  }
  static int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string target = setup.work + "/plain" + std::to_string(run++);
    fs::create_directories(target);
    std::vector<std::string> command = args;
    for (std::string& arg : command) {
      if (arg == "TARGET") arg = target;
    }
    state.ResumeTiming();
    const int status = RunProgram(command, setup.work);
    const int synced = RunProgram({"/bin/sync", "-f", target}, setup.work);
    if (status != 0 || synced != 0) {
      state.SkipWithError((args.front() + " or sync failed").c_str());
      return;
    }
  }
  state.counters["assets"] = kAssets;
}

void BM_InstallCDP(benchmark::State& state) {
  InstallRun(state, "installcdp", false);
}

void BM_InstallCDPWarm(benchmark::State& state) {
  InstallRun(state, "installcdp", true);
}

void BM_TarExtract(benchmark::State& state) {
  PlainRun(state, {"/bin/tar", "-xf", GetSetup().tarball, "-C", "TARGET"});
}

void BM_InstallFromPath(benchmark::State& state) {
  InstallRun(state, "installfrompath", false);
}

void BM_InstallFromPathWarm(benchmark::State& state) {
  InstallRun(state, "installfrompath", true);
}

void BM_CopyTree(benchmark::State& state) {
  PlainRun(state, {"/bin/cp", "-r", GetSetup().source, "TARGET"});
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Rounds of pairs: each run of the tool is followed by its plain one.
  constexpr int kRounds = 5;
  const struct {
    const char* name;
    void (*run)(benchmark::State&);
  } pairs[] = {{"BM_InstallCDP", BM_InstallCDP},
               {"BM_TarExtract", BM_TarExtract},
               {"BM_InstallCDPWarm", BM_InstallCDPWarm},
               {"BM_TarExtract", BM_TarExtract},
               {"BM_InstallFromPath", BM_InstallFromPath},
               {"BM_CopyTree", BM_CopyTree},
               {"BM_InstallFromPathWarm", BM_InstallFromPathWarm},
               {"BM_CopyTree", BM_CopyTree}};
  for (int round = 0; round < kRounds; ++round) {
    for (const auto& pair : pairs) {
      benchmark::RegisterBenchmark(pair.name, pair.run)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->UseRealTime();
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // Every output is removed only now, with the work folder.
  if (setupMade && !GetSetup().work.empty()) fs::remove_all(GetSetup().work);
  return 0;
}
