#include "cli/ValidateAsset.h"

#include "assetdb/protocol/ResultsLog.h"
#include "cli/CommandArgs.h"
#include "cli/ValidateAssetSteps.h"

bool ValidateAsset(const KUID& kuid, ResultsLog& log) {
  // One chain, each request waited for in turn.
  ValidateAssetSteps steps(kuid, log, nullptr);
  steps.Start();
  while (!steps.Finished()) steps.Advance();
  return steps.Looked();
}

int32_t ValidateCommand(ResultsLog& log, EngineObjects& /*engine*/, int argc, char** argv) {
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, "Missing AssetID parameter.");
    return kCommandFailed;
  }
  return ValidateAsset(FirstArgumentKUID(argc, argv), log) ? kCommandSucceeded : kCommandFailed;
}
