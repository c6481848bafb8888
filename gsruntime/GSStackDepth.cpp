#include "gsruntime/GSStackDepth.h"

#include <algorithm>

#include "gscompiler/bytecode/GSOpcodes.h"

namespace GSRuntime {

using namespace GSByteCode;

namespace {

constexpr uint32_t kLookAhead = 256;  // instructions a call's result is followed through

bool IsConditionalJump(uint8_t op) {
  return op >= JZ && op <= JGE;
}
bool EndsFlow(uint8_t op) {
  return op == JMP || op == RET || op == RETV || op == RETREF || op == WAIT || op == SWITCH;
}

// Whether the code after call `i` takes the call's result: it does when an
// instruction takes more operands than were pushed since the call. Reads
// the opcodes from their list and the code only for a call's count.
int8_t ResultIsUsed(const GSDecodedCode& code, size_t i) {
  using namespace stack_effect;
  const uint8_t* ops = code.ops.data();
  const int8_t* leaves = code.leaves.data();
  const size_t end = std::min<size_t>(code.count, i + 1 + kLookAhead);
  int64_t above = 0;
  for (size_t j = i + 1; j < end; ++j) {
    const uint8_t op = ops[j];
    if (op == RET) return 0;
    int64_t pops = kPops[op];
    int64_t pushes = kEffects[op].pushes;
    if (kEffects[op].call) {
      pops = GSStackPops(code.code + code.starts[j]);
      pushes = leaves[j] >= 0 ? leaves[j] : 1;
    }
    if (pops > above) return 1;
    if (EndsFlow(op)) return 0;
    above += pushes - pops;
  }
  return 0;
}

class DepthWalk {
 public:
  DepthWalk(GSDecodedCode& code, uint32_t maxDepth) : code_(code), maxDepth_(maxDepth) {}

  bool Run(std::string& error) {
    const size_t n = code_.count;
    if (n == 0) return true;
    GSSettleCallResults(code_);
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
    const int64_t pops = GSStackPops(p);
    if (pops > d) return Fail(at, "the operand stack holds too few values", error);
    const bool ret = op == RET || op == RETV || op == RETREF;
    if (ret) {
      if (d == (op == RET ? 0 : 1)) return true;
      return Fail(at, "the operand stack does not hold what the return needs", error);
    }
    const int64_t after = d - pops + GSStackPushes(p, code_.leaves[i]);
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
    if (i + 1 >= code_.count) return Fail(at, "the code runs past its end", error);
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

void GSSettleCallResults(GSDecodedCode& code) {
  for (size_t c = code.calls.size(); c-- > 0;) {
    const uint32_t i = code.calls[c];
    if (code.leaves[i] < 0) code.leaves[i] = ResultIsUsed(code, i);
  }
}

bool GSCheckStackDepth(GSDecodedCode& code, uint32_t maxDepth, std::string& error) {
  DepthWalk walk(code, maxDepth);
  return walk.Run(error);
}

}  // namespace GSRuntime
