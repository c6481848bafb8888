#include "foundation/stream/TStreamTyped.h"

#include <algorithm>
#include <bit>
#include <string_view>

#include "foundation/stream/TStream.h"

namespace {

uint32_t LoadU32(const uint8_t* b) {
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void StoreU32(uint8_t* b, uint32_t v) {
  b[0] = uint8_t(v);
  b[1] = uint8_t(v >> 8);
  b[2] = uint8_t(v >> 16);
  b[3] = uint8_t(v >> 24);
}

// Reads exactly n bytes; a short read records kErrorShortRead.
bool ReadExact(TStream& stream, uint8_t* dst, uint32_t n) {
  if (stream.Read(dst, n) == n) return true;
  stream.SetError(TStream::kErrorShortRead);
  return false;
}

}  // namespace

bool TStreamReadU32(TStream& stream, uint32_t& out, uint32_t def) {
  uint8_t b[4];
  if (!ReadExact(stream, b, 4)) {
    out = def;
    return false;
  }
  out = LoadU32(b);
  return true;
}

bool TStreamReadFloat(TStream& stream, float& out, float def) {
  uint32_t bits = 0;
  if (!TStreamReadU32(stream, bits, 0)) {
    out = def;
    return false;
  }
  out = std::bit_cast<float>(bits);
  return true;
}

bool TStreamReadU64(TStream& stream, uint64_t& out, uint64_t def) {
  uint8_t b[8];
  if (!ReadExact(stream, b, 8)) {
    out = def;
    return false;
  }
  out = uint64_t{LoadU32(b)} | uint64_t{LoadU32(b + 4)} << 32;
  return true;
}

bool TStreamReadBool(TStream& stream, bool& out, bool def) {
  uint8_t b = 0;
  if (!ReadExact(stream, &b, 1)) {
    out = def;
    return false;
  }
  out = b != 0;
  return true;
}

uint32_t TStreamReadBytes(TStream& stream, void* dst, uint32_t n) {
  return stream.Read(dst, n);
}

uint32_t TStreamWriteBytes(TStream& stream, const void* data, uint32_t n) {
  stream.SettleRead();
  if (n == 0) return 0;
  return stream.Write(data, n);
}

void TStreamWriteU8(TStream& stream, uint8_t value) {
  TStreamWriteBytes(stream, &value, 1);
}

void TStreamWriteBool(TStream& stream, bool value) {
  TStreamWriteU8(stream, value ? 1 : 0);
}

void TStreamWriteU32(TStream& stream, uint32_t value) {
  uint8_t b[4];
  StoreU32(b, value);
  TStreamWriteBytes(stream, b, 4);
}

void TStreamWriteU64(TStream& stream, uint64_t value) {
  uint8_t b[8];
  StoreU32(b, uint32_t(value));
  StoreU32(b + 4, uint32_t(value >> 32));
  TStreamWriteBytes(stream, b, 8);
}

void TStreamWriteFloat(TStream& stream, float value) {
  TStreamWriteU32(stream, std::bit_cast<uint32_t>(value));
}

void TStreamRewind(TStream& stream) {
  stream.SeekTo(0);
}

// --- Arrays and strings (members of TStream) --------------------------------

void TStream::ReadU32Array(uint32_t* values, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) TStreamReadU32(*this, values[i], 0);
}

void TStream::WriteU32Array(const uint32_t* values, uint32_t n) {
  // Encoded in blocks so that a file sees a few large writes.
  constexpr uint32_t kBlock = 256;
  uint8_t bytes[kBlock * 4];
  for (uint32_t done = 0; done < n;) {
    uint32_t count = std::min(kBlock, n - done);
    for (uint32_t i = 0; i < count; ++i) StoreU32(bytes + 4 * i, values[done + i]);
    TStreamWriteBytes(*this, bytes, count * 4);
    done += count;
  }
}

void TStream::WritePString(const Kiv::PString& s) {
  uint32_t n = s.Empty() ? 0 : s.Length() + 1;
  if (n > kMaxStringLength) {
    SetError(kErrorSize);
    return;
  }
  TStreamWriteU32(*this, n);
  if (n != 0) TStreamWriteBytes(*this, s.c_str(), n);
}

void TStream::WriteString(const Kiv::AnsiString& s) {
  if (s.size() > kMaxStringLength) {
    SetError(kErrorSize);
    return;
  }
  auto n = static_cast<uint32_t>(s.size());
  TStreamWriteU32(*this, n);
  if (n != 0) TStreamWriteBytes(*this, s.data(), n);
}

// Reads the length and the body of a string; `out` holds the bytes (NULs
// included). False when there is no text to take.
bool TStream::ReadStringBody(Kiv::String& out) {
  out.clear();
  uint32_t n = 0;
  if (!TStreamReadU32(*this, n, 0) || n == 0) return false;
  if (n > kMaxStringLength) {
    SetError(kErrorSize);
    Skip(n);
    return false;
  }
  out.assign(n, '\0');
  uint32_t got = Read(out.data(), n);
  if (got < n) SetError(kErrorShortRead);
  return true;
}

void TStream::ReadString(Kiv::String& out) {
  if (!ReadStringBody(out)) return;
  size_t nul = out.find('\0');
  if (nul != Kiv::String::npos) out.resize(nul);
}

void TStream::ReadPString(Kiv::PString& out) {
  Kiv::String text;
  ReadStringBody(text);
  std::string_view view(text);
  out = Kiv::PString(view.substr(0, view.find('\0')));
}
