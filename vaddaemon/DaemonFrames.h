// The daemon's side of the wire format (client side and layouts:
// assetdb/VADFrames.h): reading the client's handshake and request frames.
//
//   handshake  'VADC', u32 version, u32 build, u32 clientFlag, u32 n,
//              n bytes of the client's asset index path (n at most
//              VADFrames::kMaxPathLength)
//   request    u32 code, u32 clientTransactionID, u32 n, n payload bytes
//              (n at most kMaxRequestLength)
//   goodbye    u32 1, then the end of the stream
//
// The bytes come from a VADFrames::ByteSource and are untrusted: every
// length is checked against its bound before anything is allocated, and a
// body is received in pieces of VADFrames::kPiece bytes, so memory follows
// the bytes that actually arrive. Nothing throws; allocation failure reads
// as kBroken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assetdb/protocol/VADFrames.h"

namespace DaemonFrames {

// The longest request body accepted (64 MiB); a longer one ends the
// connection.
constexpr uint32_t kMaxRequestLength = 64u << 20;
// The request code that, as a frame's first word, says goodbye.
constexpr uint32_t kGoodbyeWord = VADFrames::kGoodbye;

struct Hello {
  uint32_t version = 0;
  uint32_t build = 0;
  uint32_t clientFlag = 0;
  std::string assetIndexPath;
};

enum class HelloResult {
  kOk,
  kBroken,    // the stream ended or failed before the whole handshake
  kBadMagic,  // the first word is not 'VADC'
  kTooLong,   // the path length is over VADFrames::kMaxPathLength
};
HelloResult ReadHello(VADFrames::ByteSource& source, Hello& out);

struct Request {
  uint32_t code = 0;
  uint32_t id = 0;
  std::vector<uint8_t> body;
};

enum class FrameResult {
  kRequest,  // `out` holds a whole request
  kEnd,      // the stream ended (or failed) where a frame would begin
  kGoodbye,  // the goodbye word
  kBroken,   // the stream ended or failed inside a frame, or no memory
  kTooLong,  // the length is over kMaxRequestLength (the body is not read)
};
FrameResult ReadRequest(VADFrames::ByteSource& source, Request& out);

// The handshake answer: 'VADD', 340, 49938.
std::vector<uint8_t> EncodeHelloAnswer();
// Whole frames, as sent.
std::vector<uint8_t> EncodeReply(uint32_t id, const uint8_t* body, uint32_t length);
std::vector<uint8_t> EncodeNote(uint32_t code, const uint8_t* payload, uint32_t length);

}  // namespace DaemonFrames
