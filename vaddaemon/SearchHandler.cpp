// The asset search, request 0x02: filter element -> u32 n, n KUIDs.
//
// The filter is read with the client's own reader (ReadFilterElement), then
// evaluated over a snapshot of the store (AssetFilter.h, AssetCatalog.h);
// the answer lists the matching assets in the store's order (user id,
// content id, version). An empty body or the type code 0 means no filter:
// every asset matches. A filter that cannot be read whole (unknown type
// code, cut short, too deep) matches nothing, and the daemon log says so.
#include <vector>

#include "assetdb/protocol/VADFilterElement.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/base/LogMessage.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "vaddaemon/AssetCatalog.h"
#include "vaddaemon/AssetFilter.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/QueryHandlerSupport.h"
#include "vaddaemon/QueryHandlers.h"
#include "vaddaemon/RequestRegistry.h"

namespace {

void WriteResult(DaemonRequest& request, const std::vector<KUID>& found) {
  TStreamWriteU32(request.Reply(), static_cast<uint32_t>(found.size()));
  for (const KUID& kuid : found) WriteKUID(request.Reply(), kuid);
}

// Reads the filter: false when the body holds a filter that cannot be read.
bool ReadFilter(DaemonRequest& request, std::unique_ptr<VADFilterElement>* filter) {
  if (request.BodyRemaining() < 4) return true;
  uint32_t typeCode = 0;
  TStreamReadU32(request.Body(), typeCode, 0);
  request.Body().SeekTo(0);
  if (typeCode == 0) return true;
  *filter = ReadFilterElement(request.Body());
  return *filter != nullptr && request.Body().GetError() == TStream::kErrorNone;
}

void Search(DaemonRequest& request) {
  std::unique_ptr<VADFilterElement> filter;
  auto store = FindAssetStore(request);
  if (!ReadFilter(request, &filter)) {
    LogMessage("vaddaemon> search: the filter could not be read; nothing matches");
    WriteResult(request, {});
    return;
  }
  if (!store) {
    WriteResult(request, {});
    return;
  }
  AssetStore& assets = *store;
  AssetCatalog catalog(assets.List(), [&assets](const StoredAsset& asset) {
    Soup config;
    return assets.LoadConfig(asset.kuid, &config) &&
           (config.HasNamedTag(Kiv::PString("script")) ||
            config.HasNamedTag(Kiv::PString("scriptlibrary")));
  });
  WriteResult(request, AssetFilter::Compile(filter.get()).Evaluate(catalog));
}

}  // namespace

void RegisterSearchHandler(RequestRegistry& registry, DaemonContext&) {
  registry.Register(VADRequestCode::kSearchAssets, Search);
}
