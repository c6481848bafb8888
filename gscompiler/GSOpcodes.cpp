#include "gscompiler/GSOpcodes.h"

namespace GSByteCode {

namespace {
constexpr GSOperandKind N = GSOperandKind::None;
constexpr GSOperandKind I = GSOperandKind::Immediate;
constexpr GSOperandKind S = GSOperandKind::Slot;
constexpr GSOperandKind T = GSOperandKind::String;
constexpr GSOperandKind C = GSOperandKind::Class;
constexpr GSOperandKind M = GSOperandKind::Member;
constexpr GSOperandKind J = GSOperandKind::Jump;
constexpr GSOperandKind K = GSOperandKind::Call;
}  // namespace

const GSOpcodeInfo kGSOpcodeTable[kOpcodeCount] = {
    {"IADD", N, -1},          {"ISUB", N, -1},         {"IMUL", N, -1},
    {"IDIV", N, -1},          {"IMOD", N, -1},         {"INEG", N, 0},
    {"IINC", N, 0},           {"IDEC", N, 0},          {"ITOF", N, 0},
    {"ICMP", N, -1},          {"PUSH0", N, 1},         {"PUSH1", N, 1},
    {"NOT", N, 0},            {"AND", N, -1},          {"OR", N, -1},
    {"XOR", N, -1},           {"BITNOT", N, 0},        {"SHL", N, -1},
    {"SHR", N, -1},           {"FADD", N, -1},         {"FSUB", N, -1},
    {"FMUL", N, -1},          {"FDIV", N, -1},         {"FMOD", N, -1},
    {"FNEG", N, 0},           {"FINC", N, 0},          {"FDEC", N, 0},
    {"FTOI", N, 0},           {"FCMP", N, -1},         {"FNOT", N, 0},
    {"PUSHI", I, 1},          {"LOAD", S, 1},          {"LOADREF", S, 1},
    {"STORE", S, -1},         {"STOREKEEP", S, 0},     {"STOREREF", S, -1},
    {"STOREREFKEEP", S, 0},   {"POP", N, -1},          {"POPREF", N, -1},
    {"DUP", N, 1},            {"DUPREF", N, 1},        {"DUP2REF", N, 2},
    {"SWAP", N, 0},           {"JMP", J, 0},           {"JZ", J, -1},
    {"JNZ", J, -1},           {"JZKEEP", J, 0},        {"JNZKEEP", J, 0},
    {"JLT", J, -1},           {"JLE", J, -1},          {"JGT", J, -1},
    {"JGE", J, -1},           {"LT", N, 0},            {"LE", N, 0},
    {"GT", N, 0},             {"GE", N, 0},            {"NEWARRAY", N, 0},
    {"NEWREFARRAY", N, 0},    {"ASIZE", N, 0},         {"ACOPY", N, 0},
    {"ALOAD", N, -1},         {"ASTORE", N, -3},       {"ASTOREKEEP", N, -2},
    {"ALOADREF", N, -1},      {"ASTOREREF", N, -3},    {"ASTOREREFKEEP", N, -2},
    {"ASLICE", N, -2},        {"ASPLICE", N, -4},      {"ASPLICEKEEP", N, -3},
    {"ASLICEREF", N, -2},     {"ASPLICEREF", N, -4},   {"ASPLICEREFKEEP", N, -3},
    {"NEWSTR", N, 1},         {"PUSHSTR", T, 1},       {"ITOS", N, 0},
    {"BTOS", N, 0},           {"FTOS", N, 0},          {"SCOPY", N, 0},
    {"SSIZE", N, 0},          {"SLOAD", N, -1},        {"SSTORE", N, -3},
    {"SSTOREKEEP", N, -2},    {"SSUB", N, -2},         {"SSPLICE", N, -4},
    {"SSPLICEKEEP", N, -3},   {"SCMP", N, -1},         {"SCAT", N, -1},
    {"ISCLASS", C, 0},        {"NEW", C, 1},           {"STATIC", C, 1},
    {"CAST", C, 0},           {"REFNE", N, -1},        {"ISNULL", N, 0},
    {"NOTNULL", N, 0},        {"CALL", K, 0},          {"CALLNATIVE", K, 0},
    {"START", K, 0},          {"GETM", M, 0},          {"GETMREF", M, 0},
    {"SETM", M, -2},          {"SETMKEEP", M, -1},     {"SETMREF", M, -2},
    {"SETMREFKEEP", M, -1},   {"GETME", M, 1},         {"GETMEREF", M, 1},
    {"SETME", M, -1},         {"SETMEREF", M, -1},     {"SETMEKEEP", M, 0},
    {"SETMEREFKEEP", M, 0},   {"RET", N, 0},           {"RETV", N, -1},
    {"RETREF", N, -1},        {"WAIT", GSOperandKind::Wait, 0},
    {"SWITCH", GSOperandKind::Switch, -1},             {"INHERITED", GSOperandKind::Inherited, 0},
    {"TOBOOL", N, 0},
};

const GSOpcodeInfo* GSOpcodeInfoOf(uint32_t opcode) {
  return opcode < kOpcodeCount ? &kGSOpcodeTable[opcode] : nullptr;
}

uint32_t GSOperandBytes(GSOperandKind kind) {
  switch (kind) {
    case GSOperandKind::None:
      return 0;
    case GSOperandKind::Slot:
    case GSOperandKind::String:
    case GSOperandKind::Class:
    case GSOperandKind::Member:
    case GSOperandKind::Inherited:
    case GSOperandKind::Wait:
    case GSOperandKind::Switch:
      return 2;
    case GSOperandKind::Immediate:
    case GSOperandKind::Jump:
    case GSOperandKind::Call:
      return 4;
  }
  return 0;
}

uint32_t GSInstructionLength(const uint8_t* code, uint32_t size, uint32_t offset) {
  if (code == nullptr || offset >= size) return 0;
  const GSOpcodeInfo* info = GSOpcodeInfoOf(code[offset]);
  if (info == nullptr) return 0;
  const uint64_t avail = uint64_t{size} - offset;
  uint64_t length = 1 + uint64_t{GSOperandBytes(info->operands)};
  if (length > avail) return 0;
  if (info->operands == GSOperandKind::Wait || info->operands == GSOperandKind::Switch) {
    const uint64_t n = GSReadU16(code + offset + 1);
    length = (info->operands == GSOperandKind::Wait ? 3 : 7) + 8 * n;
    if (length > avail) return 0;
  }
  return static_cast<uint32_t>(length);
}

}  // namespace GSByteCode
