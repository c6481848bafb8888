// Validating 1,000 installed assets with the real tool ("VandruUtil @batch"
// of 1,000 "validate" lines, the installation's daemon running) beside the
// same checks of the same 1,000 folders in this process (the validation
// entry the command host runs, as bench_tetlib times it). Pairs run
// interleaved round by round, so the ratio is read from one run:
//   BM_ValidateThroughTool     the batch through client, daemon and command host;
//   BM_ValidateInProcess       the checks alone, one folder after the other;
//   BM_ValidateThroughBaseline the same batch through the tool and daemon of
//                              another build tree (VU_BENCH_BASELINE_BUILD,
//                              e.g. a copy kept from before a change), in an
//                              installation of its own; only when it is set.
// Each asset is configuration-only and clean, so the tool runs every step
// of a validation (handle, information, checks, script compile).
// Set-up (once, not timed): the assets are written, installed with
// "installfrompath" into an installation laid out by the build's install
// script, and the daemon and command host
// warmed by one batch. The work folder is removed at exit.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "bench/ToolProcess.h"
#include "kiv/File.h"
#include "kiv/RenderKernel.h"
#include "tetlib/Container.h"
#include "tetlib/DataManager.h"
#include "tetlib/TETLib.h"

namespace {

namespace fs = std::filesystem;

constexpr int kAssets = 1000;
constexpr int kFirstContentId = 920000;

struct Setup {
  bool ok = false;
  std::string work;
  std::string root;
  std::string baselineRoot;
  std::string batch;
  std::vector<std::string> folders;
  Kiv::RenderKernel kernel{nullptr, 8.0f};
};

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string AssetConfig(int i) {
  const std::string id = std::to_string(kFirstContentId + i);
  return "kuid <kuid:321:" + id + ">\nusername \"Crate " + id +
         "\"\nkind \"scenery\"\nvandru-build 3.4\ncategory-class \"BA\"\n"
         "category-region \"DE;FR\"\ncategory-era \"1950s\"\nsnapmode 1\nscale 1,2,3\n"
         "rotation-speed " +
         std::to_string(i % 50) + "\ndescription-de \"Kiste\"\n";
}

const char* BaselineBuild() {
  const char* build = std::getenv("VU_BENCH_BASELINE_BUILD");
  return build != nullptr && build[0] != '\0' ? build : nullptr;
}

// Installs the assets of `source` into `root` and warms its daemon, its
// command host and the page cache with one batch.
bool InstallAndWarm(const std::string& root, const std::string& source, const std::string& batch) {
  return toolbench::RunTool(root, {"installfrompath", source}) == 0 &&
         toolbench::RunTool(root, {"@" + batch}) == 0;
}

bool MakeSetup(Setup& setup) {
  const toolbench::ToolPaths paths = toolbench::FindTool();
  if (!paths.Found()) return false;
  char pattern[] = "/tmp/vu-bench-validate-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return false;
  setup.work = pattern;
  setup.root = toolbench::LayOutRoot(paths, setup.work, "install");
  if (setup.root.empty()) return false;
  if (const char* build = BaselineBuild()) {
    toolbench::ToolPaths baseline;
    baseline.build = build;
    baseline.tool = baseline.build + "/cli/VandruUtil";
    baseline.daemon = baseline.build + "/vaddaemon/vaddaemon";
    if (!baseline.Found()) return false;
    setup.baselineRoot = toolbench::LayOutRoot(baseline, setup.work, "baseline");
    if (setup.baselineRoot.empty()) return false;
  }
  fs::copy(std::string(VU_SOURCE_DIR) + "/tetlib/TETData", setup.work + "/defs",
           fs::copy_options::recursive);
  const std::string source = setup.work + "/assets";
  setup.batch = setup.work + "/validate.txt";
  std::ofstream batch(setup.batch);
  for (int i = 0; i < kAssets; ++i) {
    const std::string folder = source + "/asset" + std::to_string(i);
    fs::create_directories(folder);
    WriteFile(folder + "/config.txt", AssetConfig(i));
    setup.folders.push_back(folder);
    batch << "validate <kuid:321:" << kFirstContentId + i << ">\n";
  }
  batch.close();
  if (!InstallAndWarm(setup.root, source, setup.batch)) return false;
  if (!setup.baselineRoot.empty() && !InstallAndWarm(setup.baselineRoot, source, setup.batch))
    return false;
  Kiv::File::Subst(Kiv::PString("data"), std::string(VU_SOURCE_DIR) + "/data");
  Kiv::SetRenderKernel(&setup.kernel);
  return true;
}

bool setupMade = false;

Setup& GetSetup() {
  static Setup setup;
  static const bool made = [] {
    setupMade = true;
    setup.ok = MakeSetup(setup);
    return true;
  }();
  (void)made;
  return setup;
}

void Counters(benchmark::State& state) {
  state.counters["s_per_asset"] =
      benchmark::Counter(double(kAssets) * double(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void ValidateThrough(benchmark::State& state, bool baseline) {
  Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed (tool, daemon or the install of the assets)");
    return;
  }
  const std::string& root = baseline ? setup.baselineRoot : setup.root;
  for (auto _ : state) {
    if (toolbench::RunTool(root, {"@" + setup.batch}) != 0) {
      state.SkipWithError("a validation failed");
      return;
    }
  }
  Counters(state);
}

void BM_ValidateThroughTool(benchmark::State& state) {
  ValidateThrough(state, false);
}

void BM_ValidateThroughBaseline(benchmark::State& state) {
  ValidateThrough(state, true);
}

void BM_ValidateInProcess(benchmark::State& state) {
  Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed");
    return;
  }
  TETLib::ErrorHandler::CreateInstance();
  TETLib::DataManager::CreateInstance((setup.work + "/defs/").c_str());
  TETLib::DataManager::Instance()->LoadDefinitions();
  size_t findings = 0;
  for (auto _ : state) {
    for (const std::string& folder : setup.folders) {
      TETLib::Container container;
      ResultsLog log;
      if (TETLib::BeginAssetValidation(Kiv::PString(), Kiv::File::Path(folder + "/config.txt"),
                                       log, &container)) {
        TETLib::RunAssetChecks(container, log);
      }
      PurgeUnusedResources();
      findings += log.MessageCount();
    }
  }
  TETLib::DataManager::DestroyInstance();
  TETLib::ErrorHandler::DestroyInstance();
  state.counters["findings"] = double(findings);
  Counters(state);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  constexpr int kRounds = 5;
  for (int round = 0; round < kRounds; ++round) {
    benchmark::RegisterBenchmark("BM_ValidateThroughTool", BM_ValidateThroughTool)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
    benchmark::RegisterBenchmark("BM_ValidateInProcess", BM_ValidateInProcess)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
    if (BaselineBuild() != nullptr) {
      benchmark::RegisterBenchmark("BM_ValidateThroughBaseline", BM_ValidateThroughBaseline)
          ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (setupMade && !GetSetup().root.empty()) {
    Kiv::SetRenderKernel(nullptr);
    toolbench::CloseDaemon(GetSetup().root);
    if (!GetSetup().baselineRoot.empty()) toolbench::CloseDaemon(GetSetup().baselineRoot);
    fs::remove_all(GetSetup().work);
  }
  return 0;
}
