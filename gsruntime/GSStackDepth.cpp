#include "gsruntime/GSStackDepth.h"

#include <algorithm>

#include "gscompiler/bytecode/GSOpcodes.h"

namespace GSRuntime {

using namespace GSByteCode;

namespace {

bool IsConditionalJump(uint8_t op) {
  return op >= JZ && op <= JGE;
}
bool EndsFlow(uint8_t op) {
  return op == JMP || op == RET || op == RETV || op == RETREF || op == WAIT || op == SWITCH;
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

// A call's result is used when some instruction j after it, before the flow
// ends, takes more operands than the code between pushed: with Q[x] the
// stack change of instructions x, x + 1, ... up to the end, when
// Q[j] + pops(j) > Q[i + 1]. One pass backwards keeps Q and the largest
// Q[j] + pops(j) (= Q[j + 1] + pushes(j)) of the straight-line code ahead,
// settling each call from the last on, so that every call ahead of one is
// settled when it is.
void GSSettleCallResults(GSDecodedCode& code) {
  using namespace stack_effect;
  int8_t* leaves = code.leaves.data();
  size_t first = code.calls.size();
  size_t last = 0;
  for (size_t c = 0; c < code.calls.size(); ++c) {
    if (leaves[code.calls[c]] >= 0) continue;
    if (first == code.calls.size()) first = c;
    last = c;
  }
  if (first == code.calls.size()) return;
  const uint8_t* ops = code.ops.data();
  // Nothing past the end of the last unsettled call's straight-line code
  // bears on any call.
  size_t end = code.calls[last] + 1;
  while (end < code.count && !EndsFlow(ops[end])) ++end;
  end = std::min<size_t>(end + 1, code.count);
  constexpr int64_t kNothingAhead = INT64_MIN;
  int64_t q = 0;  // Q[k + 1]
  int64_t reach = kNothingAhead;
  for (size_t k = end; k-- > code.calls[first];) {
    const uint8_t op = ops[k];
    if (EndsFlow(op)) reach = kNothingAhead;
    int64_t pops = kPops[op];
    int64_t pushes = kEffects[op].pushes;
    if (kEffects[op].call) {
      pops = GSStackPops(code.code + code.starts[k]);
      if (leaves[k] < 0) leaves[k] = reach > q ? 1 : 0;
      pushes = leaves[k];
    }
    reach = std::max(reach, q + pushes);
    q += pushes - pops;
  }
}

bool GSCheckStackDepth(GSDecodedCode& code, uint32_t maxDepth, std::string& error) {
  DepthWalk walk(code, maxDepth);
  return walk.Run(error);
}

}  // namespace GSRuntime
