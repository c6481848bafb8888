// The wire format of the asset-database daemon's connection, client side.
//
// Every integer is 32-bit little-endian; four-character constants are
// 32-bit words (their last character goes first on the wire).
//
//   handshake  client: 'VADC' u32 340, u32 49938, u32 clientFlag (0 or 1),
//                      u32 n, n bytes of the asset index path
//              daemon: 'VADD', then two u32 values
//   request    client: u32 code, u32 clientTransactionID (0 one-way),
//                      u32 n, n payload bytes
//   reply      daemon: 'repl', u32 clientTransactionID, u32 m, m bytes
//   note       daemon: 'note', u32 code, u32 n, n payload bytes
//   goodbye    client: u32 1, then the socket closes
//
// Encoders build whole frames in one block, so that a frame leaves in one
// send. ReadFrame reads one daemon frame from a byte source and hands it to
// a sink: a reply's id (the sink answers whether a pending request takes
// the body; when none does, the body is read and dropped so that the stream
// stays in step) or a complete notification. Every length from the daemon
// is checked against its bound (kMaxReplyLength, VADNotification::
// kMaxPayload) before anything is allocated, and bodies are received in
// pieces of at most kPiece bytes, so memory follows the bytes that
// actually arrive. ReadFrame answers false, and the connection must end,
// on a failed receive, an unknown tag or a length over its bound.
//
// Nothing here is locked or throws; allocation failure reads as false.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "assetdb/protocol/VADNotification.h"

class TStream;

namespace VADFrames {

constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) |
         uint32_t(uint8_t(d));
}

constexpr uint32_t kTagHello = FourCC('V', 'A', 'D', 'C');
constexpr uint32_t kTagHelloAnswer = FourCC('V', 'A', 'D', 'D');
constexpr uint32_t kTagReply = FourCC('r', 'e', 'p', 'l');
constexpr uint32_t kTagNote = FourCC('n', 'o', 't', 'e');
constexpr uint32_t kVersion = 340;
constexpr uint32_t kBuild = 49938;
constexpr uint32_t kGoodbye = 1;
// Bodies are received and discarded in pieces of this size.
constexpr uint32_t kPiece = 32768;
// The longest reply body accepted (1 GiB); a longer one ends the connection.
constexpr uint32_t kMaxReplyLength = 1u << 30;
// The longest asset index path sent in the handshake.
constexpr uint32_t kMaxPathLength = 65535;

// Appends the little-endian word to `out`.
void PutU32(std::vector<uint8_t>& out, uint32_t value);
uint32_t GetU32(const uint8_t* bytes);

// The client's handshake; false when the path is longer than kMaxPathLength
// or memory runs out.
bool EncodeHandshake(bool clientFlag, std::string_view assetIndexPath, std::vector<uint8_t>& out);
// Code, id, length, then the payload bytes; false when memory runs out.
bool EncodeRequest(uint32_t code, uint32_t clientTransactionID, const uint8_t* payload,
                   uint32_t length, std::vector<uint8_t>& out);

// Where the reader takes its bytes from: Receive moves exactly n bytes or
// fails.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual bool Receive(void* dst, uint32_t n) = 0;

 protected:
  ByteSource() = default;
};

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // A 'repl' frame for `id`: true when a pending request takes the body
  // (the sink reads it from the source), false to have the reader drop it.
  virtual bool OnReply(uint32_t id) = 0;
  // A 'note' frame, read in full; the sink owns it.
  virtual void OnNotification(std::unique_ptr<VADNotification> note) = 0;

 protected:
  FrameSink() = default;
};

// Reads one frame (see above). False: the connection must end.
bool ReadFrame(ByteSource& source, FrameSink& sink);
// After the 'note' tag: code, length and payload into a new notification
// (rewound); null on a failed receive, an oversized length or no memory.
std::unique_ptr<VADNotification> ReadNotification(ByteSource& source);
// A body's length word and `length` bytes, dropped. False on a failed
// receive or a length over kMaxReplyLength.
bool SkipReplyBody(ByteSource& source);

// Result of ReadReplyBody.
enum class ReplyBody {
  kStored,     // Every byte received and written into the stream.
  kNotStored,  // Every byte received (the connection is in step) but the
               // stream took fewer: the request fails.
  kBroken,     // A receive failed or the length was over its bound: the
               // connection must be dropped.
};
// The reply's length word and body, written into `reply` at its position.
ReplyBody ReadReplyBody(ByteSource& source, TStream& reply);

}  // namespace VADFrames
