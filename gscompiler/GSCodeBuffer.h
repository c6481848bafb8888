// GSCodeBuffer: the code generator's emission buffer, a ByteBuffer extended
// with the operand-stack bookkeeping and the line hook.
//
// Every opcode goes through the same steps: the line hook (when set) is
// called with the write position; the opcode's stack effect from the
// instruction table (GSOpcodes.h) is added to `depth` and `maxDepth` is
// raised to it; the buffer grows and, unless growth has failed, the bytes
// are written and the position advances. Operands are little-endian.
//
// Holes for forward jumps: ReserveJump(opcode) writes 5 zero bytes and
// answers their position; FillJump(position, opcode, target) later writes
// the jump there (seeking back and returning to the end) and counts its
// stack effect then. Fills do not call the line hook, so the line table
// stays in code order. Reserve(n) makes room for other operands (tables).
//
// `depthSum` adds up the depth before each instruction, as the loader
// counts it to bound its check (GSLibraryLimits.h): while a reserved jump
// waits for its fill, the operand it will take is left out of that depth
// (the code after a conditional jump runs without it), so the sum is the
// loader's for the code that the entry reaches, and more for the rest.
//
// Failure: growth failure sets ByteBuffer::kGrowthFailed and every later
// write is skipped; a seek beyond the written size sets kReadPastEnd and
// leaves the position where it was. Failed() reports either bit; the
// generator turns it into a counted error. Storage grows geometrically (the
// grow step follows the capacity), which keeps long functions linear.
// Not thread-safe.
#pragma once

#include <cstdint>

#include "foundation/stream/ByteBuffer.h"
#include "gscompiler/bytecode/GSOpcodes.h"

namespace GSCompiler {

class GSCFunction;

// Called with the code offset of the opcode about to be written.
using GSLineHook = void (*)(GSCFunction& function, uint32_t offset);

class GSCodeBuffer {
 public:
  // Short functions fit in the first storage and never grow it.
  static constexpr uint32_t kInitialCapacity = 128;

  GSCodeBuffer() { bytes.Init(kInitialCapacity); }

  void EmitOp(GSByteCode::GSOpcode op);
  void EmitOpU32(GSByteCode::GSOpcode op, uint32_t operand);
  void EmitPushFloat(float value);
  void EmitOpU16(GSByteCode::GSOpcode op, uint16_t operand);
  void EmitOpU16U16(GSByteCode::GSOpcode op, uint16_t first, uint16_t second);
  // The line hook and the stack effect of `op` only (variable-length
  // instructions write their opcode this way, then their operands raw).
  void BeginOp(GSByteCode::GSOpcode op) {
    if (lineHook && lineOwner) lineHook(*lineOwner, bytes.position);
    CountInstruction();
    TrackStackDepth(GSByteCode::kGSOpcodeTable[op].stack);
  }
  void TrackStackDepth(int delta) {
    depth += delta;
    if (depth > maxDepth) maxDepth = depth;
  }

  // Raw little-endian writes at the position.
  void WriteU8(uint8_t value) {
    if (!Room(1)) return;
    bytes.Data()[bytes.position++] = value;
  }
  void WriteU16(uint16_t value) {
    if (!Room(2)) return;
    uint8_t* out = bytes.Data() + bytes.position;
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
    bytes.position += 2;
  }
  void WriteU32(uint32_t value) {
    if (!Room(4)) return;
    uint8_t* out = bytes.Data() + bytes.position;
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
    bytes.position += 4;
  }
  // n zero bytes; answers the position of the first.
  uint32_t Reserve(uint32_t n);
  // The hole of a jump `op` that FillJump fills later; its position.
  uint32_t ReserveJump(GSByteCode::GSOpcode op);
  // Moves the position; beyond the written size sets kReadPastEnd.
  bool Seek(uint32_t position);
  void SeekEnd() { bytes.position = bytes.size; }
  // Writes `op` with `target` at `position` and returns to the end.
  void FillJump(uint32_t position, GSByteCode::GSOpcode op, uint32_t target);
  // Writes a u32 at `position` and returns to the end.
  void PatchU32(uint32_t position, uint32_t value);

  uint32_t Position() const { return bytes.position; }
  uint32_t Size() const { return bytes.size; }
  const uint8_t* Data() const { return bytes.Data(); }
  bool Failed() const { return bytes.errors != 0; }

  ByteBuffer bytes;
  int32_t depth = 0;
  int32_t maxDepth = 0;
  uint64_t depthSum = 0;
  GSLineHook lineHook = nullptr;
  GSCFunction* lineOwner = nullptr;

 private:
  void CountInstruction() {
    const int32_t before = depth - heldPops_;
    if (before > 0) depthSum += static_cast<uint64_t>(before);
  }

  // The operands that reserved jumps will take when they are filled.
  int32_t heldPops_ = 0;

  // True when `n` bytes fit at the position (the written size then covers
  // them); grows the storage when they do not. False once growth failed.
  bool Room(uint32_t n) {
    // Room already there (most writes): only the written size goes up, as
    // GrowBuffer would raise it.
    if ((bytes.errors & ByteBuffer::kGrowthFailed) == 0 && bytes.capacity > n &&
        bytes.position < bytes.capacity - n) {
      if (bytes.position + n > bytes.size) bytes.size = bytes.position + n;
      return true;
    }
    return Grow(n);
  }
  bool Grow(uint32_t n);
};

}  // namespace GSCompiler
