#include "cli/AssetAuthors.h"

#include <memory>
#include <set>

#include "assetdb/client/UserNameCache.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/ResultsPrinter.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "cli/Commands.h"
#include "foundation/soup/SoupKUIDReferences.h"

namespace {

struct NameLess {
  bool operator()(const Kiv::PString& a, const Kiv::PString& b) const {
    return Kiv::PString::TextLess(a, b);
  }
};

}  // namespace

Kiv::PString CollectAssetAuthor(Kiv::PString& name, KUID kuid) {
  AssetRecord record;
  VADClient::GetAssetInfo(kuid, 0xFFFFFFFFu, record);
  int32_t secondId = -1;
  name = Kiv::PString();
  LookupUserName(record.authorId, secondId, name);
  return name;
}

std::vector<Kiv::PString> ListAssetAuthors() {
  VADFilterElementGroup filter;
  filter.Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocal));
  filter.Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocallyAvailable));
  filter.Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocallyEnabled));
  KUIDList found;
  VADClient::SearchAssets(&filter, found);

  std::set<Kiv::PString, NameLess> names;
  for (const KUID& kuid : found) {
    Kiv::PString name;
    CollectAssetAuthor(name, kuid);
    if (!name.Empty()) names.insert(name);
  }
  return std::vector<Kiv::PString>(names.begin(), names.end());
}

int32_t AuthorsCommand(ResultsLog& /*log*/, EngineObjects& /*engine*/, int /*argc*/,
                       char** /*argv*/) {
  for (const Kiv::PString& name : ListAssetAuthors()) PrintResultLine(name.Str());
  return 0;
}
