// The GameScript byte-code instruction set: the one table of opcodes that
// the code generator, the runtime's library reader and verifier, and the
// disassembler all build on.
//
// An instruction is an opcode byte followed directly by its operands, with
// no alignment; operands are little-endian (GSByteOrder.h). Opcodes 0 to 115
// are defined; 116 to 255 are illegal.
//
// GS_OPCODE_TABLE(X) calls X(name, code, operands, bytes, stack) once per
// opcode, one line each, in code order:
// - name: the enumerator and the mnemonic;
// - code: the opcode byte; the codes run 0, 1, 2 ... in table order;
// - operands: the GSOperandKind of what follows the opcode byte;
// - bytes: how many operand bytes follow the opcode byte; for WAIT and
//   SWITCH the fixed part only (the u16 count N, and SWITCH's u32 default
//   target), each of their N table entries adding kGSTableEntryBytes;
// - stack: the net change of the operand-stack depth, as the code generator
//   counts it when it emits the instruction. Calls (CALL, CALLNATIVE, START,
//   INHERITED) count 0: their real change is k (minus the argument slots,
//   the object included) plus 1 when the callee returns a value, which the
//   generator adds after the call. WAIT counts 0; at each of its targets the
//   delivered message lies on the stack (+1). SWITCH pops the value it tests.
// Adding or changing an opcode means changing its line here and nothing
// else: the enumeration, the count and the lookup table all expand from it,
// and the checks below refuse codes out of order and operand byte counts
// that differ within one operand kind.
//
// Everything here is constant data and pure functions; thread-safe.
#pragma once

#include <cstdint>

#include "gscompiler/bytecode/GSByteOrder.h"

namespace GSByteCode {

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

// Bytes each table entry of WAIT (type pair, target) and SWITCH (value,
// target) adds to the instruction.
inline constexpr uint32_t kGSTableEntryBytes = 8;

// clang-format off
//  X(name,         code, operands, bytes, stack)
#define GS_OPCODE_TABLE(X) \
  X(IADD,           0,   None,      0, -1) \
  X(ISUB,           1,   None,      0, -1) \
  X(IMUL,           2,   None,      0, -1) \
  X(IDIV,           3,   None,      0, -1) \
  X(IMOD,           4,   None,      0, -1) \
  X(INEG,           5,   None,      0,  0) \
  X(IINC,           6,   None,      0,  0) \
  X(IDEC,           7,   None,      0,  0) \
  X(ITOF,           8,   None,      0,  0) \
  X(ICMP,           9,   None,      0, -1) \
  X(PUSH0,          10,  None,      0, +1) \
  X(PUSH1,          11,  None,      0, +1) \
  X(NOT,            12,  None,      0,  0) \
  X(AND,            13,  None,      0, -1) \
  X(OR,             14,  None,      0, -1) \
  X(XOR,            15,  None,      0, -1) \
  X(BITNOT,         16,  None,      0,  0) \
  X(SHL,            17,  None,      0, -1) \
  X(SHR,            18,  None,      0, -1) \
  X(FADD,           19,  None,      0, -1) \
  X(FSUB,           20,  None,      0, -1) \
  X(FMUL,           21,  None,      0, -1) \
  X(FDIV,           22,  None,      0, -1) \
  X(FMOD,           23,  None,      0, -1) \
  X(FNEG,           24,  None,      0,  0) \
  X(FINC,           25,  None,      0,  0) \
  X(FDEC,           26,  None,      0,  0) \
  X(FTOI,           27,  None,      0,  0) \
  X(FCMP,           28,  None,      0, -1) \
  X(FNOT,           29,  None,      0,  0) \
  X(PUSHI,          30,  Immediate, 4, +1) \
  X(LOAD,           31,  Slot,      2, +1) \
  X(LOADREF,        32,  Slot,      2, +1) \
  X(STORE,          33,  Slot,      2, -1) \
  X(STOREKEEP,      34,  Slot,      2,  0) \
  X(STOREREF,       35,  Slot,      2, -1) \
  X(STOREREFKEEP,   36,  Slot,      2,  0) \
  X(POP,            37,  None,      0, -1) \
  X(POPREF,         38,  None,      0, -1) \
  X(DUP,            39,  None,      0, +1) \
  X(DUPREF,         40,  None,      0, +1) \
  X(DUP2REF,        41,  None,      0, +2) \
  X(SWAP,           42,  None,      0,  0) \
  X(JMP,            43,  Jump,      4,  0) \
  X(JZ,             44,  Jump,      4, -1) \
  X(JNZ,            45,  Jump,      4, -1) \
  X(JZKEEP,         46,  Jump,      4,  0) \
  X(JNZKEEP,        47,  Jump,      4,  0) \
  X(JLT,            48,  Jump,      4, -1) \
  X(JLE,            49,  Jump,      4, -1) \
  X(JGT,            50,  Jump,      4, -1) \
  X(JGE,            51,  Jump,      4, -1) \
  X(LT,             52,  None,      0,  0) \
  X(LE,             53,  None,      0,  0) \
  X(GT,             54,  None,      0,  0) \
  X(GE,             55,  None,      0,  0) \
  X(NEWARRAY,       56,  None,      0,  0) \
  X(NEWREFARRAY,    57,  None,      0,  0) \
  X(ASIZE,          58,  None,      0,  0) \
  X(ACOPY,          59,  None,      0,  0) \
  X(ALOAD,          60,  None,      0, -1) \
  X(ASTORE,         61,  None,      0, -3) \
  X(ASTOREKEEP,     62,  None,      0, -2) \
  X(ALOADREF,       63,  None,      0, -1) \
  X(ASTOREREF,      64,  None,      0, -3) \
  X(ASTOREREFKEEP,  65,  None,      0, -2) \
  X(ASLICE,         66,  None,      0, -2) \
  X(ASPLICE,        67,  None,      0, -4) \
  X(ASPLICEKEEP,    68,  None,      0, -3) \
  X(ASLICEREF,      69,  None,      0, -2) \
  X(ASPLICEREF,     70,  None,      0, -4) \
  X(ASPLICEREFKEEP, 71,  None,      0, -3) \
  X(NEWSTR,         72,  None,      0, +1) \
  X(PUSHSTR,        73,  String,    2, +1) \
  X(ITOS,           74,  None,      0,  0) \
  X(BTOS,           75,  None,      0,  0) \
  X(FTOS,           76,  None,      0,  0) \
  X(SCOPY,          77,  None,      0,  0) \
  X(SSIZE,          78,  None,      0,  0) \
  X(SLOAD,          79,  None,      0, -1) \
  X(SSTORE,         80,  None,      0, -3) \
  X(SSTOREKEEP,     81,  None,      0, -2) \
  X(SSUB,           82,  None,      0, -2) \
  X(SSPLICE,        83,  None,      0, -4) \
  X(SSPLICEKEEP,    84,  None,      0, -3) \
  X(SCMP,           85,  None,      0, -1) \
  X(SCAT,           86,  None,      0, -1) \
  X(ISCLASS,        87,  Class,     2,  0) \
  X(NEW,            88,  Class,     2, +1) \
  X(STATIC,         89,  Class,     2, +1) \
  X(CAST,           90,  Class,     2,  0) \
  X(REFNE,          91,  None,      0, -1) \
  X(ISNULL,         92,  None,      0,  0) \
  X(NOTNULL,        93,  None,      0,  0) \
  X(CALL,           94,  Call,      4,  0) \
  X(CALLNATIVE,     95,  Call,      4,  0) \
  X(START,          96,  Call,      4,  0) \
  X(GETM,           97,  Member,    2,  0) \
  X(GETMREF,        98,  Member,    2,  0) \
  X(SETM,           99,  Member,    2, -2) \
  X(SETMKEEP,       100, Member,    2, -1) \
  X(SETMREF,        101, Member,    2, -2) \
  X(SETMREFKEEP,    102, Member,    2, -1) \
  X(GETME,          103, Member,    2, +1) \
  X(GETMEREF,       104, Member,    2, +1) \
  X(SETME,          105, Member,    2, -1) \
  X(SETMEREF,       106, Member,    2, -1) \
  X(SETMEKEEP,      107, Member,    2,  0) \
  X(SETMEREFKEEP,   108, Member,    2,  0) \
  X(RET,            109, None,      0,  0) \
  X(RETV,           110, None,      0, -1) \
  X(RETREF,         111, None,      0, -1) \
  X(WAIT,           112, Wait,      2,  0) \
  X(SWITCH,         113, Switch,    6, -1) \
  X(INHERITED,      114, Inherited, 2,  0) \
  X(TOBOOL,         115, None,      0,  0)

// clang-format on

enum GSOpcode : uint8_t {
#define GS_OPCODE_ENUMERATOR(name, code, operands, bytes, stack) name = code,
  GS_OPCODE_TABLE(GS_OPCODE_ENUMERATOR)
#undef GS_OPCODE_ENUMERATOR
};

struct GSOpcodeInfo {
  const char* mnemonic;
  GSOperandKind operands;
  uint8_t operandBytes;  // fixed part for WAIT and SWITCH
  int8_t stack;
};

// The table, indexed by opcode.
inline constexpr GSOpcodeInfo kGSOpcodeTable[] = {
#define GS_OPCODE_INFO(name, code, operands, bytes, stack) \
  {#name, GSOperandKind::operands, bytes, stack},
    GS_OPCODE_TABLE(GS_OPCODE_INFO)
#undef GS_OPCODE_INFO
};

// Number of defined opcodes; opcode bytes at or above it are illegal.
inline constexpr uint32_t kOpcodeCount = sizeof kGSOpcodeTable / sizeof kGSOpcodeTable[0];

namespace detail {

inline constexpr uint8_t kTableCodes[] = {
#define GS_OPCODE_CODE(name, code, operands, bytes, stack) code,
    GS_OPCODE_TABLE(GS_OPCODE_CODE)
#undef GS_OPCODE_CODE
};

constexpr bool CodesFollowTableOrder() {
  for (uint32_t i = 0; i < kOpcodeCount; ++i)
    if (kTableCodes[i] != i) return false;
  return true;
}

constexpr bool OperandBytesAgreePerKind() {
  for (uint32_t i = 0; i < kOpcodeCount; ++i)
    for (uint32_t j = 0; j < i; ++j)
      if (kGSOpcodeTable[i].operands == kGSOpcodeTable[j].operands &&
          kGSOpcodeTable[i].operandBytes != kGSOpcodeTable[j].operandBytes)
        return false;
  return true;
}

}  // namespace detail

static_assert(kOpcodeCount == 116, "opcodes 0 to 115 are defined");
static_assert(detail::CodesFollowTableOrder(), "opcode codes must run 0, 1, 2 ... in table order");
static_assert(detail::OperandBytesAgreePerKind(),
              "opcodes of one operand kind take the same operand bytes");

// The entry of `opcode`; null for an illegal opcode byte.
const GSOpcodeInfo* GSOpcodeInfoOf(uint32_t opcode);

// Length of the whole instruction whose opcode byte is at code[offset], with
// `size` code bytes present. 0 when the opcode is illegal, the offset lies
// outside the code, or the instruction (its variable part included) does
// not fit in the code.
uint32_t GSInstructionLength(const uint8_t* code, uint32_t size, uint32_t offset);

}  // namespace GSByteCode
