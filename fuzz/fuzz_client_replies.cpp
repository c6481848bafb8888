// Fuzzes the readers the tool applies to the daemon's replies: the asset
// record (request 0x15), KUID lists (searches, dependencies), user names
// (0x5A, then kept in the user-name cache) and the status of a web request.
// Each reader gets the whole input as its reply. Whatever the bytes, the
// readers must stay within them, bound every count and text by what they
// hold, and the cache must give back what it was given.
#include <cstdint>
#include <cstdlib>

#include "assetdb/client/UserNameCache.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/client/WebRequests.h"
#include "assetdb/protocol/AssetRecord.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

namespace {

constexpr size_t kMaxText = 65535;
constexpr int32_t kUser = 4711;

class Reply {
 public:
  Reply(const uint8_t* data, size_t size) {
    if (size != 0) bytes_.Write(data, static_cast<uint32_t>(size));
    bytes_.SetPosition(0);
  }
  TStream& Stream() { return stream_; }

 private:
  Kiv::DynamicBuffer bytes_;
  TBuffer stream_{&bytes_, false};
};

void AssetRecordReply(const uint8_t* data, size_t size) {
  Reply reply(data, size);
  AssetRecord record;
  if (!ReadAssetInfoRecord(reply.Stream(), record)) std::abort();
  if (record.status >= (1u << kAssetStatusBits) || record.flags2 >= (1u << kAssetFlags2Bits))
    std::abort();
  for (const Kiv::String* text :
       {&record.username, &record.text2, &record.text3, &record.text4, &record.category}) {
    if (text->size() > kMaxText) std::abort();
  }
}

void KUIDListReply(const uint8_t* data, size_t size) {
  Reply reply(data, size);
  KUIDList list;
  const uint32_t count = ReadKUIDList(reply.Stream(), static_cast<uint32_t>(size), list);
  if (count != list.Count() || count > (size < 4 ? 0 : (size - 4) / 8)) std::abort();
}

void UserNameReply(const uint8_t* data, size_t size) {
  Reply reply(data, size);
  int32_t secondId = 0;
  Kiv::PString name;
  ReadUserNameReply(reply.Stream(), secondId, name);
  if (name.Str().size() > kMaxText) std::abort();
  UserNameCache::Clear();
  UserNameCache::Insert(secondId, name, kUser);
  int32_t cachedId = 0;
  Kiv::PString cachedName;
  const bool found = UserNameCache::Find(kUser, cachedId, cachedName);
  if (secondId == -1 && name.Empty()) {
    if (found) std::abort();
    return;
  }
  if (!found || cachedId != secondId || cachedName != name) std::abort();
}

void WebStatusReply(const uint8_t* data, size_t size) {
  Reply reply(data, size);
  const DaemonHttpStatus status = DaemonHttpRequest::ReadStatus(reply.Stream());
  if (status.resultPath.size() > kMaxText || status.name.Str().size() > kMaxText) std::abort();
  Reply pushed(data, size);
  DaemonHttpRequest::DispatchStatus(1, pushed.Stream());  // No request has that handle.
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  AssetRecordReply(data, size);
  KUIDListReply(data, size);
  UserNameReply(data, size);
  WebStatusReply(data, size);
  return 0;
}
