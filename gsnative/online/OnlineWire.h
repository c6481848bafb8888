// OnlineWire: the field encodings of the online service's packets and of
// the offline message cache file, all little-endian:
//   u8, u16, u32; f32 as its 4 bytes; bool as one byte 0 or 1;
//   string: u32 byte count, then the bytes, no terminator (a text over
//           65535 bytes is written with count 0 and no bytes);
//   KUID:   u32 content id, then u32 (version << 25 | user id & 0x1FFFFFF);
//   soup:   the binary "ACS$" form (foundation/soup/BinarySoup.h).
//
// WireReader reads them from an untrusted stream: every field is checked
// against the bytes left before it is read (a string's count included, and
// strings are at most 65535 bytes), and the first failure makes the reader
// fail for good (Ok() false; every later read answers false and leaves its
// output as it was). Nothing is allocated beyond the bytes the stream holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"

class TStream;

namespace OnlineWire {

constexpr uint32_t kMaxString = 65535;

void WriteString(TStream& stream, std::string_view text);
void WriteSoup(TStream& stream, const Soup& soup);

}  // namespace OnlineWire

class WireReader {
 public:
  // Reads from the stream's position to its end.
  explicit WireReader(TStream& stream);

  bool U8(uint8_t& out);
  bool U16(uint16_t& out);
  bool U32(uint32_t& out);
  bool F32(float& out);
  bool Bool(bool& out);
  bool String(std::string& out);
  bool ReadKUID(KUID& out);
  bool ReadSoup(Soup& out);

  bool Ok() const { return ok_; }
  uint32_t Remaining() const;
  TStream& Stream() { return stream_; }

 private:
  bool Take(void* out, uint32_t n);

  TStream& stream_;
  uint32_t end_;
  bool ok_ = true;
};
