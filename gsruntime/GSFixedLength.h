// The length of every fixed-size instruction by opcode, for loops that step
// through code one instruction at a time without a call per instruction.
// 0 for WAIT and SWITCH, whose length their count operand tells
// (GSInstructionLength), and for undefined opcodes.
#pragma once

#include <array>
#include <cstdint>

#include "gscompiler/bytecode/GSOpcodes.h"

namespace GSRuntime {

constexpr std::array<uint8_t, 256> GSFixedLengthTable() {
  using namespace GSByteCode;
  std::array<uint8_t, 256> t{};
  for (uint32_t op = 0; op < kOpcodeCount; ++op)
    if (kGSOpcodeTable[op].operands != GSOperandKind::Wait &&
        kGSOpcodeTable[op].operands != GSOperandKind::Switch)
      t[op] = static_cast<uint8_t>(1 + kGSOpcodeTable[op].operandBytes);
  return t;
}

inline constexpr std::array<uint8_t, 256> kGSFixedLength = GSFixedLengthTable();

}  // namespace GSRuntime
