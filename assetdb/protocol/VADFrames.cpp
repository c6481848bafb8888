#include "assetdb/protocol/VADFrames.h"

#include <new>

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"

namespace VADFrames {

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(uint8_t(value));
  out.push_back(uint8_t(value >> 8));
  out.push_back(uint8_t(value >> 16));
  out.push_back(uint8_t(value >> 24));
}

uint32_t GetU32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
         (uint32_t(bytes[3]) << 24);
}

bool EncodeHandshake(bool clientFlag, std::string_view assetIndexPath, std::vector<uint8_t>& out) {
  if (assetIndexPath.size() > kMaxPathLength) return false;
  try {
    out.clear();
    out.reserve(20 + assetIndexPath.size());
    PutU32(out, kTagHello);
    PutU32(out, kVersion);
    PutU32(out, kBuild);
    PutU32(out, clientFlag ? 1 : 0);
    PutU32(out, uint32_t(assetIndexPath.size()));
    out.insert(out.end(), assetIndexPath.begin(), assetIndexPath.end());
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool EncodeRequest(uint32_t code, uint32_t clientTransactionID, const uint8_t* payload,
                   uint32_t length, std::vector<uint8_t>& out) {
  try {
    out.clear();
    out.reserve(size_t(12) + length);
    PutU32(out, code);
    PutU32(out, clientTransactionID);
    PutU32(out, length);
    if (length != 0) out.insert(out.end(), payload, payload + length);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

namespace {

bool ReceiveU32(ByteSource& source, uint32_t& value) {
  uint8_t bytes[4];
  if (!source.Receive(bytes, 4)) return false;
  value = GetU32(bytes);
  return true;
}

// Receives `length` bytes in pieces and hands each piece to `take` (which
// may be null to drop them).
template <typename Take>
bool ReceivePieces(ByteSource& source, uint32_t length, Take take) {
  uint8_t piece[kPiece];
  while (length != 0) {
    uint32_t n = length < kPiece ? length : kPiece;
    if (!source.Receive(piece, n)) return false;
    take(piece, n);
    length -= n;
  }
  return true;
}

}  // namespace

std::unique_ptr<VADNotification> ReadNotification(ByteSource& source) {
  uint32_t code = 0;
  uint32_t length = 0;
  if (!ReceiveU32(source, code) || !ReceiveU32(source, length)) return nullptr;
  if (length > VADNotification::kMaxPayload) return nullptr;
  std::unique_ptr<VADNotification> note(new (std::nothrow) VADNotification(code));
  if (!note) return nullptr;
  bool stored = true;
  bool received = ReceivePieces(source, length, [&](const uint8_t* bytes, uint32_t n) {
    if (stored) stored = note->payload.Write(bytes, n) == n;
  });
  if (!received || !stored) return nullptr;
  TStreamRewind(note->payload);
  return note;
}

bool SkipReplyBody(ByteSource& source) {
  uint32_t length = 0;
  if (!ReceiveU32(source, length) || length > kMaxReplyLength) return false;
  return ReceivePieces(source, length, [](const uint8_t*, uint32_t) {});
}

ReplyBody ReadReplyBody(ByteSource& source, TStream& reply) {
  uint32_t length = 0;
  if (!ReceiveU32(source, length) || length > kMaxReplyLength) return ReplyBody::kBroken;
  // A body the stream cannot take is still received whole, so that the
  // connection stays in step.
  bool stored = true;
  bool received = ReceivePieces(source, length, [&](const uint8_t* bytes, uint32_t n) {
    if (stored) stored = TStreamWriteBytes(reply, bytes, n) == n;
  });
  if (!received) return ReplyBody::kBroken;
  return stored ? ReplyBody::kStored : ReplyBody::kNotStored;
}

bool ReadFrame(ByteSource& source, FrameSink& sink) {
  uint32_t tag = 0;
  if (!ReceiveU32(source, tag)) return false;
  if (tag == kTagNote) {
    std::unique_ptr<VADNotification> note = ReadNotification(source);
    if (!note) return false;
    sink.OnNotification(std::move(note));
    return true;
  }
  if (tag != kTagReply) return false;
  uint32_t id = 0;
  if (!ReceiveU32(source, id)) return false;
  if (sink.OnReply(id)) return true;
  return SkipReplyBody(source);
}

}  // namespace VADFrames
