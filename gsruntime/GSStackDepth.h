// The operand-stack depth check of GSCodeVerifier (GSCodeVerifier.h), on code
// that has already been decoded and operand-checked.
//
// First every call gets what it leaves on the stack: `leaves` gives 1 or 0
// where the caller knows it; for a call marked -1 the code that follows it
// decides: the call leaves a value when the straight-line code after it
// (through conditional jumps, up to the next JMP, RET, WAIT or SWITCH)
// takes one more operand than it pushed, as code that uses or drops a
// call's result does. Then depths are tracked per instruction along every
// path from the entry (depth 0): no instruction takes more operands than
// the stack holds, no depth exceeds `maxDepth`, paths meet with equal
// depths, RET finds 0 and RETV/RETREF 1, WAIT's targets get the message
// (+1), and no path runs off the end of the code. On success `code.depth`
// holds the depth before every instruction (-1 where no path reaches) and
// `code.leaves` what every call leaves.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gscompiler/bytecode/GSOpcodes.h"

namespace GSRuntime {

inline constexpr uint8_t kGSJumpTarget = 1;

// One function's decoded code, with working storage that is kept from one
// function to the next.
struct GSDecodedCode {
  const uint8_t* code = nullptr;
  uint32_t size = 0;
  uint32_t count = 0;            // instructions; the vectors below may hold more entries
  std::vector<uint32_t> starts;  // instruction offsets, ascending
  std::vector<uint8_t> ops;      // per instruction: its opcode, read without its offset
  // Per code byte: the instruction starting there, when starts[] agrees
  // (what other functions left in it is never cleared).
  std::vector<int32_t> indexAt;
  std::vector<int8_t> leaves;  // per call: what it leaves (1, 0, -1 unknown); else unset
  // Per instruction: kGSJumpTarget when a jump, WAIT or SWITCH targets it
  // (other bits are the kind check's); nonzero where kinds are stored.
  std::vector<uint8_t> joins;
  std::vector<uint32_t> calls;  // the instructions that call, ascending
  std::vector<int64_t> depth;   // per instruction: the depth before it, or -1
  std::vector<uint32_t> work;

  // The instruction that starts at `offset`, or -1.
  int32_t IndexOf(uint32_t offset) const {
    if (offset >= size) return -1;
    const int32_t i = indexAt[offset];
    return i >= 0 && static_cast<uint32_t>(i) < count && starts[i] == offset ? i : -1;
  }
};

namespace stack_effect {

using namespace GSByteCode;

constexpr bool IsCall(uint8_t op) {
  return kGSOpcodeTable[op].operands == GSOperandKind::Call || op == INHERITED;
}

// Operands each instruction takes from the stack, by opcode (calls, whose
// count is an operand, are handled apart); it pushes this plus its table
// stack change (calls: what the callee leaves; RETV and RETREF take the
// returned value).
constexpr std::array<uint8_t, 256> PopTable() {
  std::array<uint8_t, 256> pops{};
  pops.fill(1);
  for (uint8_t op : {PUSH0, PUSH1, PUSHI, LOAD, LOADREF, NEWSTR, PUSHSTR, NEW, STATIC, GETME,
                     GETMEREF, JMP, WAIT, RET})
    pops[op] = 0;
  for (uint8_t op :
       {IADD, ISUB, IMUL,  IDIV, IMOD,    ICMP,     AND,         OR,      XOR,      SHL,
        SHR,  FADD, FSUB,  FMUL, FDIV,    FMOD,     FCMP,        ALOAD,   ALOADREF, SLOAD,
        SCMP, SCAT, REFNE, SETM, SETMREF, SETMKEEP, SETMREFKEEP, DUP2REF, SWAP})
    pops[op] = 2;
  for (uint8_t op :
       {ASTORE, ASTOREREF, SSTORE, ASTOREKEEP, ASTOREREFKEEP, ASLICE, ASLICEREF, SSTOREKEEP, SSUB})
    pops[op] = 3;
  for (uint8_t op : {ASPLICE, ASPLICEREF, SSPLICE, ASPLICEKEEP, ASPLICEREFKEEP, SSPLICEKEEP})
    pops[op] = 4;
  return pops;
}

inline constexpr std::array<uint8_t, 256> kPops = PopTable();

// Per opcode, looked up once per instruction: whether it is a call, and
// what it pushes when it is not.
struct StackEffect {
  bool call = false;
  int8_t pushes = 0;
};

constexpr std::array<StackEffect, 256> EffectTable() {
  std::array<StackEffect, 256> t{};
  for (uint32_t op = 0; op < kOpcodeCount; ++op) {
    t[op].call = IsCall(static_cast<uint8_t>(op));
    if (!t[op].call && op != RETV && op != RETREF)
      t[op].pushes = static_cast<int8_t>(kPops[op] + kGSOpcodeTable[op].stack);
  }
  return t;
}

inline constexpr std::array<StackEffect, 256> kEffects = EffectTable();

}  // namespace stack_effect

// The operands instruction `p` takes from the stack (a call: its argument
// slots, the object included).
inline int64_t GSStackPops(const uint8_t* p) {
  using namespace stack_effect;
  if (kEffects[*p].call) return 1 - int64_t{static_cast<int16_t>(GSReadU16(p + 1))};
  return kPops[*p];
}

// What instruction `p` pushes (a call: `leaves`, what its callee leaves).
inline int64_t GSStackPushes(const uint8_t* p, int8_t leaves) {
  using namespace stack_effect;
  if (kEffects[*p].call) return leaves;
  return kEffects[*p].pushes;
}

// Gives every call whose `code.leaves` is -1 what it leaves: 1 when the
// straight-line code after it takes one more operand than it pushed,
// however far ahead (a result passed on before thousands of arguments). One
// pass over the code from the last such call's straight-line end back to
// the first such call: time linear in the code.
void GSSettleCallResults(GSDecodedCode& code);

// `code.leaves` has one entry per instruction: for calls 1 or 0 when known,
// -1 when not; ignored elsewhere. `code.calls` lists every call.
bool GSCheckStackDepth(GSDecodedCode& code, uint32_t maxDepth, std::string& error);

}  // namespace GSRuntime
