// "repairdatabase" [extended | patcher | base]: repairs the asset database
// in the daemon (modes 150, 50, 20; 100 without a word or with any other
// word) and answers 255 when the repair logged an error, else 0.
#include <cstdio>
#include <string_view>

#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADTask.h"
#include "cli/CommandArgs.h"
#include "cli/Commands.h"
#include "kiv/PString.h"

namespace {

constexpr uint32_t kModeNormal = 100;
constexpr uint32_t kModeExtended = 150;
constexpr uint32_t kModePatcher = 50;
constexpr uint32_t kModeBase = 20;
constexpr int32_t kRepairLoggedError = 255;

uint32_t RepairMode(int argc, char** argv) {
  const Kiv::PString lower = LowerFirstArgument(argc, argv);
  const std::string_view word = lower.c_str();
  if (word == "extended") return kModeExtended;
  if (word == "patcher") return kModePatcher;
  if (word == "base") return kModeBase;
  return kModeNormal;
}

}  // namespace

int32_t RepairDatabaseCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  const uint32_t mode = RepairMode(argc, argv);
  if (mode != kModePatcher) std::printf("Repairing asset database (this may take some time)\n");

  bool failed = false;
  {
    VADTask task;
    VADTaskRepairDatabase worker(mode, nullptr);
    VADTaskThread::RunInline(worker, &task);
    log.Assign(task);
    failed = task.GetErrorCount() > 0;
  }
  if (mode == kModePatcher) VADClientRequests::RepairDatabase();
  return failed ? kRepairLoggedError : kCommandSucceeded;
}
