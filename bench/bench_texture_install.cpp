// The cost of installing asset folders whose compiled textures are up to
// date: the real tool and daemon, a batch of kFolders "installfrompath"
// lines, each folder holding a texture source, its 1024 by 1024 picture
// (a 3 MiB BMP) and the texture compiled from it by "compresstexture" at
// set-up (the picture then dated an hour back). Each line replaces the
// asset that the set-up installed, so every timed line does the same work:
// the copy into staging, the check whether the compiled texture is up to
// date (no conversion runs), the install. The counter "per_install" is the
// time of one line.
//
// The tool and daemon are found as bench/ToolProcess.h says: VU_BENCH_BUILD
// names another build tree (e.g. one of the code before a change) to
// measure it the same way; run the two one after the other, several times,
// to read a change's cost. The work folder is made in TMPDIR (default
// /tmp) and removed at exit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/ToolProcess.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 10;
constexpr int kRounds = 5;
constexpr uint32_t kSide = 1024;

void PutU32(std::string& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes += char(value >> (8 * i));
}

// A 24-bit BMP of a pattern that differs by `seed`.
void WritePicture(const std::string& path, uint32_t seed) {
  const uint32_t row = kSide * 3;
  std::string bytes = "BM";
  PutU32(bytes, 54 + row * kSide);
  PutU32(bytes, 0);
  PutU32(bytes, 54);
  PutU32(bytes, 40);
  PutU32(bytes, kSide);
  PutU32(bytes, kSide);
  PutU32(bytes, 1 | (24u << 16));  // planes, bits per pixel
  for (int i = 0; i < 6; ++i) PutU32(bytes, 0);
  for (uint32_t y = 0; y < kSide; ++y) {
    for (uint32_t x = 0; x < kSide; ++x) {
      bytes += char(x + seed);
      bytes += char(y * 3);
      bytes += char((x ^ y) + seed * 7);
    }
  }
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Setup {
  bool ok = false;
  std::string work;
  std::string root;
  std::string batch;
};

Setup MakeSetup() {
  Setup setup;
  const toolbench::ToolPaths paths = toolbench::FindTool();
  if (!paths.Found()) return setup;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vu-bench-textures-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return setup;
  setup.work = pattern;
  setup.root = toolbench::LayOutRoot(paths, setup.work, "root");
  if (setup.root.empty()) return setup;
  setup.batch = setup.work + "/batch.txt";
  std::ofstream batch(setup.batch);
  for (int i = 0; i < kFolders; ++i) {
    const std::string folder = setup.work + "/assets/" + std::to_string(i);
    fs::create_directories(folder);
    std::ofstream(folder + "/config.txt")
        << "kuid <kuid:326:" << i << ">\nkind \"texture\"\nusername \"Bench " << i
        << "\"\ntexture \"t.texture\"\n";
    std::ofstream(folder + "/t.texture.txt") << "Primary=t.bmp\r\n";
    WritePicture(folder + "/t.bmp", uint32_t(i));
    batch << "\"installfrompath\" \"" << folder << "\"\n";
  }
  batch.close();
  if (toolbench::RunTool(setup.root, {"compresstexture", setup.work + "/assets"}) != 0)
    return setup;
  for (int i = 0; i < kFolders; ++i) {
    const std::string folder = setup.work + "/assets/" + std::to_string(i);
    for (const char* name : {"/t.bmp", "/t.texture.txt"})
      fs::last_write_time(folder + name,
                          fs::last_write_time(folder + "/t.texture") - std::chrono::hours(1));
  }
  if (toolbench::RunTool(setup.root, {"@" + setup.batch}) != 0) return setup;
  // No conversion ran: the installed texture is the folder's copy, its time
  // kept.
  const std::string installed = setup.root + "/UserData/local/kuid 326 0";
  const std::string copy = (fs::exists(installed) ? installed : installed + "~") + "/t.texture";
  setup.ok = fs::exists(copy) && fs::last_write_time(copy) ==
                                     fs::last_write_time(setup.work + "/assets/0/t.texture");
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

void BM_TexturedInstalls(benchmark::State& state) {
  const Setup& setup = GetSetup();
  if (!setup.ok) {
    state.SkipWithError("set-up failed (tool or daemon not found, or a command failed)");
    return;
  }
  for (auto _ : state) {
    if (toolbench::RunTool(setup.root, {"@" + setup.batch}) != 0) {
      state.SkipWithError("the batch failed");
      return;
    }
  }
  state.counters["per_install"] = benchmark::Counter(
      kFolders, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int round = 0; round < kRounds; ++round) {
    benchmark::RegisterBenchmark("BM_TexturedInstalls", BM_TexturedInstalls)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (setupMade && !GetSetup().root.empty()) toolbench::CloseDaemon(GetSetup().root);
  if (setupMade && !GetSetup().work.empty()) fs::remove_all(GetSetup().work);
  return 0;
}
