// The version words and "echo". None reads the daemon.
#include <cstdio>

#include "cli/CommandArgs.h"
#include "cli/Commands.h"

namespace {

constexpr int32_t LowByte(int32_t value) {
  return value & 0xFF;
}
constexpr int32_t HighByte(int32_t value) {
  return (value >> 8) & 0xFF;
}

}  // namespace

int32_t VersionCommand(ResultsLog&, EngineObjects&, int, char**) {
  std::printf("Build %d\n", int(kProgramBuild));
  return kCommandSucceeded;
}

int32_t InstalledVersionLoCommand(ResultsLog&, EngineObjects&, int, char**) {
  return LowByte(kProgramVersion);
}

int32_t InstalledVersionHiCommand(ResultsLog&, EngineObjects&, int, char**) {
  return HighByte(kProgramVersion);
}

int32_t InstalledBuildNumberLoCommand(ResultsLog&, EngineObjects&, int, char**) {
  return LowByte(kProgramBuild);
}

int32_t InstalledBuildNumberHiCommand(ResultsLog&, EngineObjects&, int, char**) {
  return HighByte(kProgramBuild);
}

int32_t EchoCommand(ResultsLog&, EngineObjects&, int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    const std::string_view text = ArgumentText(argc, argv, i);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc(' ', stdout);
  }
  std::fputc('\n', stdout);
  return kCommandSucceeded;
}

int32_t InstalledVersionCommand(ResultsLog&, EngineObjects&, int, char**) {
  return kProgramVersion;
}

int32_t InstalledBuildNumberCommand(ResultsLog&, EngineObjects&, int, char**) {
  return kProgramBuild;
}
