#include "gscompiler/GSCodeBuffer.h"

#include <cstring>

namespace GSCompiler {

using namespace GSByteCode;

bool GSCodeBuffer::Room(uint32_t n) {
  if ((bytes.errors & ByteBuffer::kGrowthFailed) != 0) return false;
  // Room already there (most writes): only the written size goes up, as
  // GrowBuffer would raise it.
  if (bytes.capacity > n && bytes.position < bytes.capacity - n) {
    if (bytes.position + n > bytes.size) bytes.size = bytes.position + n;
    return true;
  }
  if (bytes.position > UINT32_MAX - n) {
    bytes.errors |= ByteBuffer::kGrowthFailed;
    return false;
  }
  // Geometric growth: the grow step follows the capacity.
  if (bytes.growStep < bytes.capacity) bytes.growStep = bytes.capacity;
  GrowBuffer(bytes, bytes.position + n);
  return (bytes.errors & ByteBuffer::kGrowthFailed) == 0;
}

void GSCodeBuffer::WriteU8(uint8_t value) {
  if (!Room(1)) return;
  bytes.Data()[bytes.position++] = value;
}

void GSCodeBuffer::WriteU16(uint16_t value) {
  if (!Room(2)) return;
  uint8_t* out = bytes.Data() + bytes.position;
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
  bytes.position += 2;
}

void GSCodeBuffer::WriteU32(uint32_t value) {
  if (!Room(4)) return;
  uint8_t* out = bytes.Data() + bytes.position;
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
  bytes.position += 4;
}

uint32_t GSCodeBuffer::Reserve(uint32_t n) {
  const uint32_t at = bytes.position;
  for (uint32_t i = 0; i < n; ++i) WriteU8(0);
  return at;
}

bool GSCodeBuffer::Seek(uint32_t position) {
  if (position > bytes.size) {
    bytes.errors |= ByteBuffer::kReadPastEnd;
    return false;
  }
  bytes.position = position;
  return true;
}

void GSCodeBuffer::TrackStackDepth(int delta) {
  depth += delta;
  if (depth > maxDepth) maxDepth = depth;
}

void GSCodeBuffer::BeginOp(GSOpcode op) {
  if (lineHook && lineOwner) lineHook(*lineOwner, bytes.position);
  TrackStackDepth(kGSOpcodeTable[op].stack);
}

void GSCodeBuffer::EmitOp(GSOpcode op) {
  BeginOp(op);
  WriteU8(op);
}

void GSCodeBuffer::EmitOpU32(GSOpcode op, uint32_t operand) {
  BeginOp(op);
  WriteU8(op);
  WriteU32(operand);
}

void GSCodeBuffer::EmitPushFloat(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  EmitOpU32(PUSHI, bits);
}

void GSCodeBuffer::EmitOpU16(GSOpcode op, uint16_t operand) {
  BeginOp(op);
  WriteU8(op);
  WriteU16(operand);
}

void GSCodeBuffer::EmitOpU16U16(GSOpcode op, uint16_t first, uint16_t second) {
  BeginOp(op);
  WriteU8(op);
  WriteU16(first);
  WriteU16(second);
}

void GSCodeBuffer::FillJump(uint32_t position, GSOpcode op, uint32_t target) {
  if (!Seek(position)) return;
  TrackStackDepth(kGSOpcodeTable[op].stack);
  WriteU8(op);
  WriteU32(target);
  SeekEnd();
}

void GSCodeBuffer::PatchU32(uint32_t position, uint32_t value) {
  if (!Seek(position)) return;
  WriteU32(value);
  SeekEnd();
}

}  // namespace GSCompiler
