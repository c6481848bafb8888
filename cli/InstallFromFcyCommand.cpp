#include "cli/InstallFromFcyCommand.h"

#include "cli/CommandArgs.h"
#include "gsnative/FetcheryQuery.h"

int32_t InstallFromFcyCommand(ResultsLog& log, EngineObjects& /*engine*/, int argc, char** argv) {
  const KUID kuid = HasFirstArgument(argc, argv) ? FirstArgumentKUID(argc, argv) : kNullKUID;
  if (kuid.IsNull()) {
    AddCommandError(log, "Missing AssetID parameter.");
    return kCommandFailed;
  }
  QueryFetcheryForAsset(kuid, &log);
  return kCommandSucceeded;
}
