#include "cli/DeleteAllFetcheryAssets.h"

#include <memory>

#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "cli/Commands.h"
#include "foundation/soup/SoupKUIDReferences.h"

bool DeleteAllFetcheryAssets() {
  VADFilterElementGroup filter;
  filter.Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocal));
  KUIDList found;
  VADClient::SearchAssets(&filter, found);
  for (const KUID& kuid : found) VADClient::DeleteAsset(kuid, true, nullptr);
  return true;
}

int32_t FetcheryDeleteAllCommand(ResultsLog& /*log*/, EngineObjects& /*engine*/, int /*argc*/,
                                 char** /*argv*/) {
  return DeleteAllFetcheryAssets() ? 0 : -1;
}
