#include "gscompiler/bytecode/GSOpcodes.h"

namespace GSByteCode {

const GSOpcodeInfo* GSOpcodeInfoOf(uint32_t opcode) {
  return opcode < kOpcodeCount ? &kGSOpcodeTable[opcode] : nullptr;
}

uint32_t GSInstructionLength(const uint8_t* code, uint32_t size, uint32_t offset) {
  if (code == nullptr || offset >= size) return 0;
  const GSOpcodeInfo* info = GSOpcodeInfoOf(code[offset]);
  if (info == nullptr) return 0;
  const uint64_t avail = uint64_t{size} - offset;
  uint64_t length = 1 + uint64_t{info->operandBytes};
  if (length > avail) return 0;
  if (info->operands == GSOperandKind::Wait || info->operands == GSOperandKind::Switch) {
    length += uint64_t{kGSTableEntryBytes} * GSReadU16(code + offset + 1);
    if (length > avail) return 0;
  }
  return static_cast<uint32_t>(length);
}

}  // namespace GSByteCode
