// "searchbycategory": lists the assets whose category list matches an
// expression. Without "-a" only local assets are searched; with "-a" (and
// the expression in the next argument) download-service assets too.
#include <cstdio>
#include <memory>

#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "cli/CommandArgs.h"
#include "cli/Commands.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "kiv/String.h"

int32_t SearchByCategoryCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  const Kiv::PString first = LowerFirstArgument(argc, argv);
  const bool everywhere = first.View() == "-a";
  if (everywhere && ArgumentText(argc, argv, 3).empty()) {
    AddCommandError(log, "Missing category parameter.");
    return kCommandFailed;
  }
  const Kiv::PString expression(
      Kiv::AsciiUpper(everywhere ? ArgumentText(argc, argv, 3) : first.View()));

  VADFilterElementGroup filter;
  filter.Add(
      std::make_unique<VADFilterElementString>(VADFilterElementString::kCategoryList, expression));
  if (!everywhere) filter.Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocal));
  KUIDList found;
  VADClient::SearchAssets(&filter, found);
  if (found.Empty()) return kCommandFailed;

  std::printf("+ %u : assets matching the specified criteria\n", found.Count());
  uint32_t number = 0;
  for (const KUID& kuid : found) {
    std::printf("+ #%u : %s\n", number++, KUIDToTagString(kuid).c_str());
  }
  return kCommandSucceeded;
}
