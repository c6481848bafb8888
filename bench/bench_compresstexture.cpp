// Converting eight 1024 x 1024 texture sources with the tool's conversion
// (DXT1, production quality, full mip chains), side by side with the nvtt
// command-line compressor (nvcompress -bc1, from libnvtt-bin) run once per
// picture on the same files. Wall-clock times.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stb/stb_image_write.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "render/textures/TextureConversion.h"

extern char** environ;

namespace {

constexpr int kPictures = 8;
constexpr int kSide = 1024;

// A folder with eight sources and their pictures (smooth colours with some
// detail, different per picture).
const std::string& Folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/vu-bench-tex-XXXXXX";
    std::string made = ::mkdtemp(pattern);
    std::vector<uint8_t> rgba(size_t(kSide) * kSide * 4);
    for (int n = 0; n < kPictures; ++n) {
      for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
          uint8_t* p = &rgba[(size_t(y) * kSide + x) * 4];
          p[0] = uint8_t(128 + 120 * std::sin(x * 0.01 * (n + 1) + y * 0.002));
          p[1] = uint8_t(128 + 120 * std::cos(y * 0.013 + n));
          p[2] = uint8_t((x ^ y) * (n + 1));
          p[3] = 255;
        }
      }
      const std::string name = made + "/p" + std::to_string(n);
      stbi_write_png((name + ".png").c_str(), kSide, kSide, 4, rgba.data(), kSide * 4);
      std::ofstream(name + ".texture.txt") << "Primary=p" << n << ".png\n";
    }
    return made;
  }();
  return folder;
}

void BM_CompressTexture(benchmark::State& state) {
  const Kiv::File::Path folder(Folder());
  for (auto _ : state) {
    ResultsLog log;
    if (ConvertTexturesInFolder(Kiv::PString(), folder, log) != 2)
      state.SkipWithError("conversion failed");
  }
}
BENCHMARK(BM_CompressTexture)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Nvcompress(benchmark::State& state) {
  for (auto _ : state) {
    for (int n = 0; n < kPictures; ++n) {
      const std::string in = Folder() + "/p" + std::to_string(n) + ".png";
      const std::string out = Folder() + "/p" + std::to_string(n) + ".dds";
      std::vector<std::string> args = {"nvcompress", "-bc1", in, out};
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
      pid_t pid = 0;
      const int spawned = posix_spawnp(&pid, "nvcompress", &actions, nullptr, argv.data(), environ);
      posix_spawn_file_actions_destroy(&actions);
      int status = 0;
      if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || status != 0)
        state.SkipWithError("nvcompress failed");
    }
  }
}
BENCHMARK(BM_Nvcompress)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::error_code ignored;
  std::filesystem::remove_all(Folder(), ignored);
  return 0;
}
