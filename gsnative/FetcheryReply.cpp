// ParseFetcheryAssetReply (declared in gsnative/FetcheryQuery.h).
#include <string>
#include <vector>

#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/FetcheryQuery.h"

namespace {

constexpr uint32_t kItemNumberBytes = 4;

Kiv::PString Name(const char* text) {
  return Kiv::PString(text);
}

// The offered items "0", "1", ... up to the first missing or empty one.
std::vector<Soup> WalkItems(const Soup& reply) {
  std::vector<Soup> items;
  for (uint32_t i = 0; i < kMaxFetcheryItems; ++i) {
    Soup item = reply.GetNamedSoup(Kiv::PString(std::to_string(i)));
    if (item.IsNull() || item.CountTags() == 0) break;
    items.push_back(std::move(item));
  }
  return items;
}

void WriteNeededItemsBody(TStream& body, const std::vector<Soup>& items) {
  const uint32_t countAt = body.Tell();
  TStreamWriteU32(body, 0);
  for (const Soup& item : items) {
    WriteKUID(body, item.GetNamedTagAsKUID(Name("requires"), kNullKUID));
    WriteKUID(body, item.GetNamedTagAsKUID(Name("latest-version"), kNullKUID));
    TStreamWriteU32(body, uint32_t(item.GetNamedTagAsInt(Name("latest-version-size"), 0)));
  }
  body.PatchU32(countAt, uint32_t(items.size()));
}

FetcheryRecord MakeRecord(const Soup& item) {
  FetcheryRecord record;
  record.required = item.GetNamedTagAsKUID(Name("requires"), kNullKUID);
  record.latestVersion = item.GetNamedTagAsKUID(Name("latest-version"), kNullKUID);
  record.size = uint32_t(item.GetNamedTagAsInt(Name("latest-version-size"), 0));
  record.downloadUrlWhole =
      ParseUrl(item.GetNamedTag(Name("latest-version-path")).c_str(), record.downloadUrl);
  ParseUrl(item.GetNamedTag(Name("banner-uri")).c_str(), record.bannerUrl);
  record.result = item.GetNamedTag(Name("result"));
  record.assetName = item.GetNamedTag(Name("asset-name"));
  return record;
}

}  // namespace

void ParseFetcheryAssetReply(const Soup& reply, FetcheryRecordList& records) {
  if (reply.IsNull() || reply.HasNamedTag(Name("none"))) return;
  const std::vector<Soup> items = WalkItems(reply);
  if (items.empty()) return;
  VADRequest request;
  WriteNeededItemsBody(request.Body(), items);
  if (!request.Transact(VADRequestCode::kNeededItems)) return;
  uint32_t count = 0;
  TStreamReadU32(request.Reply(), count, 0);
  const uint32_t held = request.ReplyRemaining() / kItemNumberBytes;
  if (count > held) count = held;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t number = 0;
    TStreamReadU32(request.Reply(), number, 0);
    if (number >= items.size()) continue;
    const Soup& item = items[number];
    if (records.HasLatestVersion(item.GetNamedTagAsKUID(Name("latest-version"), kNullKUID)))
      continue;
    records.PushBack(MakeRecord(item));
  }
}
