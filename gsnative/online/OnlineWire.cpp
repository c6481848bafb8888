#include "gsnative/online/OnlineWire.h"

#include <cstring>

#include "foundation/soup/BinarySoup.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"

namespace OnlineWire {

void WriteString(TStream& stream, std::string_view text) {
  if (text.size() > kMaxString) {
    TStreamWriteU32(stream, 0);
    return;
  }
  TStreamWriteU32(stream, static_cast<uint32_t>(text.size()));
  TStreamWriteBytes(stream, text.data(), static_cast<uint32_t>(text.size()));
}

void WriteSoup(TStream& stream, const Soup& soup) { BinarySoup::Write(stream, soup); }

}  // namespace OnlineWire

WireReader::WireReader(TStream& stream) : stream_(stream), end_(stream.GetSize()) {}

uint32_t WireReader::Remaining() const {
  const uint32_t at = stream_.Tell();
  return at < end_ ? end_ - at : 0;
}

bool WireReader::Take(void* out, uint32_t n) {
  if (!ok_ || Remaining() < n) {
    ok_ = false;
    return false;
  }
  if (stream_.Read(out, n) != n) ok_ = false;
  return ok_;
}

bool WireReader::U8(uint8_t& out) { return Take(&out, 1); }

bool WireReader::U16(uint16_t& out) {
  uint8_t bytes[2];
  if (!Take(bytes, 2)) return false;
  out = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
  return true;
}

bool WireReader::U32(uint32_t& out) {
  uint8_t bytes[4];
  if (!Take(bytes, 4)) return false;
  out = uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
        (uint32_t{bytes[3]} << 24);
  return true;
}

bool WireReader::F32(float& out) {
  uint32_t bits = 0;
  if (!U32(bits)) return false;
  std::memcpy(&out, &bits, sizeof(out));
  return true;
}

bool WireReader::Bool(bool& out) {
  uint8_t byte = 0;
  if (!U8(byte)) return false;
  out = byte != 0;
  return true;
}

bool WireReader::String(std::string& out) {
  uint32_t count = 0;
  if (!U32(count)) return false;
  if (count > OnlineWire::kMaxString || count > Remaining()) {
    ok_ = false;
    return false;
  }
  std::string text(count, '\0');
  if (count != 0 && !Take(text.data(), count)) return false;
  out = std::move(text);
  return true;
}

bool WireReader::ReadKUID(KUID& out) {
  uint32_t content = 0;
  uint32_t packed = 0;
  if (!U32(content) || !U32(packed)) return false;
  out = KUIDUnpack(packed, content);
  return true;
}

bool WireReader::ReadSoup(Soup& out) {
  if (!ok_ || Remaining() < BinarySoup::kHeaderSize) {
    ok_ = false;
    return false;
  }
  Soup soup;
  if (!BinarySoup::Read(stream_, soup)) {
    ok_ = false;
    return false;
  }
  out = std::move(soup);
  return true;
}
