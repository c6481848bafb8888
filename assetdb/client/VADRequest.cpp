#include "assetdb/client/VADRequest.h"

#include "assetdb/client/VADClient.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/KUID.h"

namespace {

constexpr uint32_t kKUIDBytes = 8;

}  // namespace

VADRequest::VADRequest() = default;

bool VADRequest::Transact(uint32_t code, ResultsLog* log, bool keepResults) {
  TStreamRewind(body_);
  const bool ok = VADClient::Transact(code, body_, reply_, nullptr, log, keepResults);
  TStreamRewind(reply_);
  return ok;
}

bool VADRequest::Post(uint32_t code) {
  TStreamRewind(body_);
  return VADClient::Post(code, body_);
}

uint32_t VADRequest::ReplyRemaining() {
  const uint32_t size = reply_.GetSize();
  const uint32_t at = reply_.Tell();
  return at < size ? size - at : 0;
}

void WriteKUIDList(TStream& stream, const KUIDList& list) {
  TStreamWriteU32(stream, list.Count());
  // The chunked list offers only mutable iteration; nothing is changed.
  for (const KUID& kuid : const_cast<KUIDList&>(list)) WriteKUID(stream, kuid);
}

uint32_t ReadKUIDList(TStream& stream, uint32_t available, KUIDList& out) {
  uint32_t count = 0;
  TStreamReadU32(stream, count, 0);
  available = available >= 4 ? available - 4 : 0;
  const uint32_t present = available / kKUIDBytes;
  if (count > present) {
    stream.SetError(TStream::kErrorShortRead);
    count = present;
  }
  for (uint32_t i = 0; i < count; ++i) out.Append(ReadKUID(stream));
  return count;
}
