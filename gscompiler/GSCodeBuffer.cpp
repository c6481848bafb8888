#include "gscompiler/GSCodeBuffer.h"

#include <cstring>

namespace GSCompiler {

using namespace GSByteCode;

bool GSCodeBuffer::Grow(uint32_t n) {
  if ((bytes.errors & ByteBuffer::kGrowthFailed) != 0) return false;
  if (bytes.position > UINT32_MAX - n) {
    bytes.errors |= ByteBuffer::kGrowthFailed;
    return false;
  }
  // Geometric growth: the grow step follows the capacity.
  if (bytes.growStep < bytes.capacity) bytes.growStep = bytes.capacity;
  GrowBuffer(bytes, bytes.position + n);
  return (bytes.errors & ByteBuffer::kGrowthFailed) == 0;
}

uint32_t GSCodeBuffer::Reserve(uint32_t n) {
  const uint32_t at = bytes.position;
  for (uint32_t i = 0; i < n; ++i) WriteU8(0);
  return at;
}

uint32_t GSCodeBuffer::ReserveJump(GSOpcode op) {
  CountInstruction();
  heldPops_ -= kGSOpcodeTable[op].stack;
  return Reserve(5);
}

bool GSCodeBuffer::Seek(uint32_t position) {
  if (position > bytes.size) {
    bytes.errors |= ByteBuffer::kReadPastEnd;
    return false;
  }
  bytes.position = position;
  return true;
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
  heldPops_ += kGSOpcodeTable[op].stack;
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
