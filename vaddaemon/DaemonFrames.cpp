#include "vaddaemon/DaemonFrames.h"

#include <new>

namespace DaemonFrames {

namespace {

bool ReceiveWord(VADFrames::ByteSource& source, uint32_t* value) {
  uint8_t bytes[4];
  if (!source.Receive(bytes, 4)) return false;
  *value = VADFrames::GetU32(bytes);
  return true;
}

// Receives `length` bytes into `out` in pieces, so that the memory held
// never runs far ahead of the bytes received.
bool ReceiveBody(VADFrames::ByteSource& source, uint32_t length, std::vector<uint8_t>& out) {
  try {
    out.clear();
    uint32_t got = 0;
    while (got < length) {
      const uint32_t piece = length - got < VADFrames::kPiece ? length - got : VADFrames::kPiece;
      out.resize(size_t(got) + piece);
      if (!source.Receive(out.data() + got, piece)) return false;
      got += piece;
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::vector<uint8_t> Frame(uint32_t tag, uint32_t word, const uint8_t* body, uint32_t length) {
  std::vector<uint8_t> out;
  out.reserve(size_t(12) + length);
  VADFrames::PutU32(out, tag);
  VADFrames::PutU32(out, word);
  VADFrames::PutU32(out, length);
  if (length != 0) out.insert(out.end(), body, body + length);
  return out;
}

}  // namespace

HelloResult ReadHello(VADFrames::ByteSource& source, Hello& out) {
  uint32_t magic = 0;
  if (!ReceiveWord(source, &magic)) return HelloResult::kBroken;
  if (magic != VADFrames::kTagHello) return HelloResult::kBadMagic;
  uint32_t length = 0;
  if (!ReceiveWord(source, &out.version) || !ReceiveWord(source, &out.build) ||
      !ReceiveWord(source, &out.clientFlag) || !ReceiveWord(source, &length)) {
    return HelloResult::kBroken;
  }
  if (length > VADFrames::kMaxPathLength) return HelloResult::kTooLong;
  std::vector<uint8_t> path;
  if (!ReceiveBody(source, length, path)) return HelloResult::kBroken;
  try {
    out.assetIndexPath.assign(path.begin(), path.end());
  } catch (const std::bad_alloc&) {
    return HelloResult::kBroken;
  }
  return HelloResult::kOk;
}

FrameResult ReadRequest(VADFrames::ByteSource& source, Request& out) {
  if (!ReceiveWord(source, &out.code)) return FrameResult::kEnd;
  if (out.code == kGoodbyeWord) return FrameResult::kGoodbye;
  uint32_t length = 0;
  if (!ReceiveWord(source, &out.id) || !ReceiveWord(source, &length)) return FrameResult::kBroken;
  if (length > kMaxRequestLength) return FrameResult::kTooLong;
  if (!ReceiveBody(source, length, out.body)) return FrameResult::kBroken;
  return FrameResult::kRequest;
}

std::vector<uint8_t> EncodeHelloAnswer() {
  std::vector<uint8_t> out;
  VADFrames::PutU32(out, VADFrames::kTagHelloAnswer);
  VADFrames::PutU32(out, VADFrames::kVersion);
  VADFrames::PutU32(out, VADFrames::kBuild);
  return out;
}

std::vector<uint8_t> EncodeReply(uint32_t id, const uint8_t* body, uint32_t length) {
  return Frame(VADFrames::kTagReply, id, body, length);
}

std::vector<uint8_t> EncodeNote(uint32_t code, const uint8_t* payload, uint32_t length) {
  return Frame(VADFrames::kTagNote, code, payload, length);
}

}  // namespace DaemonFrames
