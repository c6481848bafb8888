// The engine objects the tool owns for one run.
//
// main() zeroes the record, InitEngine (cli/EngineStartup.h) fills it and
// ShutdownEngine destroys what it holds, in that order, on the main thread.
// Every command receives the record; commands only read it and never delete
// what it points to. Between start-up and shut-down the resource system and
// the render kernel are also reachable process-wide (Kiv::ResourceSystem::
// Current and GetRenderKernel below); the pointers here are the same objects.
//
// The command signature shared by the dispatcher and every command word:
//   int32_t Command(ResultsLog& log, EngineObjects& engine, int argc, char** argv)
// argv[0] is the program path, argv[1] the command word; the answer is the
// command's status (0 success). Messages for the user go into `log`, which
// main prints after the command returns.
#pragma once

#include <cstdint>

class ResultsLog;

namespace Kiv {
class OS;
class RenderKernel;
class ResourceSystem;
}  // namespace Kiv

struct EngineObjects {
  Kiv::ResourceSystem* resourceSystem = nullptr;
  Kiv::RenderKernel* renderKernel = nullptr;
  Kiv::OS* os = nullptr;
};

using CommandFunction = int32_t (*)(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// The working directory the tool was started in, saved by start-up before it
// changes to the program's folder ("" before start-up). Commands resolve
// relative path arguments against it.
const char* GetStartDirectory();
