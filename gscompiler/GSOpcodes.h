// The GameScript byte-code instruction set: the one table of opcodes that
// the code generator, the library reader of the runtime and the test
// disassembler all build on.
//
// An instruction is an opcode byte followed directly by its operands, with
// no alignment. Operands are little-endian: u16 slots, members, classes and
// string indices; i32 immediates; u32 jump targets counted from the start
// of the function's code; calls carry an s16 k (minus the argument slots)
// and a u16 function index; INHERITED carries the s16 k alone. WAIT is
// 3 + 8N bytes long (u16 N, N pairs of u16 string indices, N u32 targets)
// and SWITCH 7 + 8N (u16 N, N i32 values, N u32 targets, u32 default).
// Opcodes 0 to 115 are defined; 116 to 255 are illegal.
//
// `stack` is the net change of the operand-stack depth that the code
// generator counts for the instruction (calls and thread starts count 0:
// the generator accounts for their argument slots itself).
//
// Everything here is constant data and pure functions; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace GSByteCode {

enum GSOpcode : uint8_t {
  IADD = 0, ISUB = 1, IMUL = 2, IDIV = 3, IMOD = 4, INEG = 5, IINC = 6, IDEC = 7,
  ITOF = 8, ICMP = 9, PUSH0 = 10, PUSH1 = 11, NOT = 12, AND = 13, OR = 14, XOR = 15,
  BITNOT = 16, SHL = 17, SHR = 18, FADD = 19, FSUB = 20, FMUL = 21, FDIV = 22, FMOD = 23,
  FNEG = 24, FINC = 25, FDEC = 26, FTOI = 27, FCMP = 28, FNOT = 29, PUSHI = 30, LOAD = 31,
  LOADREF = 32, STORE = 33, STOREKEEP = 34, STOREREF = 35, STOREREFKEEP = 36, POP = 37,
  POPREF = 38, DUP = 39, DUPREF = 40, DUP2REF = 41, SWAP = 42, JMP = 43, JZ = 44, JNZ = 45,
  JZKEEP = 46, JNZKEEP = 47, JLT = 48, JLE = 49, JGT = 50, JGE = 51, LT = 52, LE = 53,
  GT = 54, GE = 55, NEWARRAY = 56, NEWREFARRAY = 57, ASIZE = 58, ACOPY = 59, ALOAD = 60,
  ASTORE = 61, ASTOREKEEP = 62, ALOADREF = 63, ASTOREREF = 64, ASTOREREFKEEP = 65,
  ASLICE = 66, ASPLICE = 67, ASPLICEKEEP = 68, ASLICEREF = 69, ASPLICEREF = 70,
  ASPLICEREFKEEP = 71, NEWSTR = 72, PUSHSTR = 73, ITOS = 74, BTOS = 75, FTOS = 76,
  SCOPY = 77, SSIZE = 78, SLOAD = 79, SSTORE = 80, SSTOREKEEP = 81, SSUB = 82,
  SSPLICE = 83, SSPLICEKEEP = 84, SCMP = 85, SCAT = 86, ISCLASS = 87, NEW = 88,
  STATIC = 89, CAST = 90, REFNE = 91, ISNULL = 92, NOTNULL = 93, CALL = 94,
  CALLNATIVE = 95, START = 96, GETM = 97, GETMREF = 98, SETM = 99, SETMKEEP = 100,
  SETMREF = 101, SETMREFKEEP = 102, GETME = 103, GETMEREF = 104, SETME = 105,
  SETMEREF = 106, SETMEKEEP = 107, SETMEREFKEEP = 108, RET = 109, RETV = 110,
  RETREF = 111, WAIT = 112, SWITCH = 113, INHERITED = 114, TOBOOL = 115,
};

// Number of defined opcodes; opcode bytes at or above it are illegal.
inline constexpr uint32_t kOpcodeCount = 116;

// What follows an opcode byte.
enum class GSOperandKind : uint8_t {
  None,       // nothing
  Immediate,  // i32 (an int, or the bits of a float)
  Slot,       // u16 frame slot
  String,     // u16 string-table index
  Class,      // u16 class-reference index
  Member,     // u16 member slot
  Jump,       // u32 target, from the start of the function's code
  Call,       // s16 k, then u16 function index
  Inherited,  // s16 k
  Wait,       // u16 N, N x (u16 major, u16 minor), N x u32 target
  Switch,     // u16 N, N x i32 value, N x u32 target, u32 default
};

struct GSOpcodeInfo {
  const char* mnemonic;
  GSOperandKind operands;
  int8_t stack;
};

// The table, indexed by opcode (0 to kOpcodeCount - 1).
extern const GSOpcodeInfo kGSOpcodeTable[kOpcodeCount];

// The entry of `opcode`; null for an illegal opcode byte.
const GSOpcodeInfo* GSOpcodeInfoOf(uint32_t opcode);

// Bytes that follow the opcode for a fixed-size operand kind (0 for None;
// for Wait and Switch the size of the count word alone).
uint32_t GSOperandBytes(GSOperandKind kind);

// Length of the whole instruction whose opcode byte is at code[offset], with
// `size` code bytes present. 0 when the opcode is illegal, the offset lies
// outside the code, or the instruction (its variable part included) does
// not fit in the code.
uint32_t GSInstructionLength(const uint8_t* code, uint32_t size, uint32_t offset);

// Little-endian operand readers; the caller has checked the bounds.
inline uint16_t GSReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GSReadU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace GSByteCode
