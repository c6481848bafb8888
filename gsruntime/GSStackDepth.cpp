#include "gsruntime/GSStackDepth.h"

#include <array>

#include "gscompiler/bytecode/GSOpcodes.h"

namespace GSRuntime {

using namespace GSByteCode;

namespace {

constexpr uint32_t kLookAhead = 256;  // instructions a call's result is followed through

constexpr bool IsCall(uint8_t op) {
  return kGSOpcodeTable[op].operands == GSOperandKind::Call || op == INHERITED;
}
bool IsConditionalJump(uint8_t op) {
  return op >= JZ && op <= JGE;
}
bool EndsFlow(uint8_t op) {
  return op == JMP || op == RET || op == RETV || op == RETREF || op == WAIT || op == SWITCH;
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

constexpr std::array<uint8_t, 256> kPops = PopTable();

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

constexpr std::array<StackEffect, 256> kEffects = EffectTable();

int64_t Pops(const uint8_t* p) {
  if (kEffects[*p].call) return 1 - int64_t{static_cast<int16_t>(GSReadU16(p + 1))};
  return kPops[*p];
}

int64_t Pushes(const uint8_t* p, int8_t leaves) {
  if (kEffects[*p].call) return leaves;
  return kEffects[*p].pushes;
}

// Whether the code after call `i` takes the call's result: it does when an
// instruction takes more operands than were pushed since the call.
int8_t ResultIsUsed(const GSDecodedCode& code, const std::vector<int8_t>& leaves, size_t i) {
  int64_t above = 0;
  for (size_t j = i + 1; j < code.starts.size() && j <= i + kLookAhead; ++j) {
    const uint8_t* p = code.code + code.starts[j];
    if (*p == RET) return 0;
    if (Pops(p) > above) return 1;
    if (EndsFlow(*p)) return 0;
    above += Pushes(p, leaves[j] >= 0 ? leaves[j] : 1) - Pops(p);
  }
  return 0;
}

class DepthWalk {
 public:
  DepthWalk(GSDecodedCode& code, uint32_t maxDepth) : code_(code), maxDepth_(maxDepth) {}

  bool Run(std::string& error) {
    const size_t n = code_.starts.size();
    if (n == 0) return true;
    for (size_t c = code_.calls.size(); c-- > 0;) {
      const uint32_t i = code_.calls[c];
      if (code_.leaves[i] < 0) code_.leaves[i] = ResultIsUsed(code_, code_.leaves, i);
    }
    code_.depth.assign(n, -1);
    code_.work.clear();
    code_.depth[0] = 0;
    code_.work.push_back(0);
    while (!code_.work.empty()) {
      uint32_t i = code_.work.back();
      code_.work.pop_back();
      // Straight-line code goes on at once, in the order the work list
      // would have taken it.
      for (;;) {
        next_ = -1;
        if (!Step(i, error)) return false;
        if (next_ < 0) break;
        i = static_cast<uint32_t>(next_);
      }
    }
    return true;
  }

 private:
  // The failure paths stay out of the walk's inlined steps.
  [[gnu::cold, gnu::noinline]] bool Fail(uint32_t at, const std::string& what,
                                         std::string& error) const {
    error = "offset " + std::to_string(at) + ": " + what;
    return false;
  }

  bool Step(uint32_t i, std::string& error) {
    const uint32_t at = code_.starts[i];
    const uint8_t* p = code_.code + at;
    const uint8_t op = *p;
    const int64_t d = code_.depth[i];
    const int64_t pops = Pops(p);
    if (pops > d) return Fail(at, "the operand stack holds too few values", error);
    const bool ret = op == RET || op == RETV || op == RETREF;
    if (ret) {
      if (d == (op == RET ? 0 : 1)) return true;
      return Fail(at, "the operand stack does not hold what the return needs", error);
    }
    const int64_t after = d - pops + Pushes(p, code_.leaves[i]);
    if (after + (op == WAIT ? 1 : 0) > maxDepth_)
      return Fail(at, "the operand stack grows beyond its maximum of " + std::to_string(maxDepth_),
                  error);
    if (op == JMP) return Reach(GSReadU32(p + 1), after, error);
    if (op == SWITCH || op == WAIT) {
      const uint32_t n = GSReadU16(p + 1);
      for (uint32_t k = 0; k < n + (op == SWITCH ? 1 : 0); ++k)
        if (!Reach(GSReadU32(p + 3 + 4 * n + 4 * k), after + (op == WAIT ? 1 : 0), error))
          return false;
      return true;
    }
    if (IsConditionalJump(op) && !Reach(GSReadU32(p + 1), after, error)) return false;
    if (i + 1 >= code_.starts.size()) return Fail(at, "the code runs past its end", error);
    return ReachIndex(static_cast<int32_t>(i + 1), after, error, true);
  }

  bool Reach(uint32_t offset, int64_t depth, std::string& error) {
    return ReachIndex(code_.IndexOf(offset), depth, error, false);
  }

  // The fall-through successor, reached last, may go on at once (Run).
  [[gnu::always_inline]] bool ReachIndex(int32_t target, int64_t depth, std::string& error,
                                         bool fallThrough) {
    int64_t& known = code_.depth[target];
    if (known < 0) {
      known = depth;
      if (fallThrough)
        next_ = target;
      else
        code_.work.push_back(static_cast<uint32_t>(target));
      return true;
    }
    if (known == depth) return true;
    return Fail(code_.starts[target], "paths meet here with different stack depths", error);
  }

  GSDecodedCode& code_;
  int64_t maxDepth_;
  int32_t next_ = -1;  // the fall-through instruction Step first reached, or -1
};

}  // namespace

bool GSCheckStackDepth(GSDecodedCode& code, uint32_t maxDepth, std::string& error) {
  DepthWalk walk(code, maxDepth);
  return walk.Run(error);
}

}  // namespace GSRuntime
