#include "gsruntime/GSKindFlow.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <utility>

#include "gscompiler/bytecode/GSOpcodes.h"
#include "gsruntime/GSClass.h"

namespace GSRuntime {

using namespace GSByteCode;

namespace {

// Operand kinds; kCall + i is the result of call number i (a union-find
// element) while its kind is open.
enum : uint32_t { kZero, kInt, kFloat, kNumber, kString, kRef, kMixed, kCall = 8 };

constexpr int kMaxPasses = 64;

// Marks RunInOrder adds to GSDecodedCode::joins beside kGSJumpTarget.
constexpr uint8_t kCallMark = 2;  // the instruction calls
constexpr uint8_t kArrived = 4;   // a path reached it; its depth and kinds are stored

constexpr bool IsPlain(uint32_t k) {
  return k == kInt || k == kFloat || k == kNumber;
}
constexpr bool IsRef(uint32_t k) {
  return k == kString || k == kRef;
}

// What an instruction takes and gives, for those that take operands of
// fixed kinds and push at most one: wants[0] is the top operand.
constexpr uint8_t kSpecial = 0xFF;
constexpr uint32_t kNothing = 0xFFFFFFFF;

constexpr uint8_t kGivesNothing = 0xFF;

// Eight bytes, so that finding an opcode's rule is a shift.
struct alignas(8) Rule {
  uint8_t takes = kSpecial;
  uint8_t wants[4] = {};
  uint8_t gives = kGivesNothing;
};
static_assert(sizeof(Rule) == 8);

constexpr std::array<Rule, 256> RuleTable() {
  std::array<Rule, 256> t{};
  auto set = [&t](std::initializer_list<uint8_t> ops, std::initializer_list<uint32_t> wants,
                  uint32_t gives) {
    for (uint8_t op : ops) {
      Rule& r = t[op];
      r.takes = static_cast<uint8_t>(wants.size());
      uint32_t w = 0;
      for (uint32_t want : wants) r.wants[w++] = static_cast<uint8_t>(want);
      r.gives = gives == kNothing ? kGivesNothing : static_cast<uint8_t>(gives);
    }
  };
  set({IADD, ISUB, IMUL, IDIV, IMOD, ICMP, AND, OR, XOR, SHL, SHR}, {kInt, kInt}, kInt);
  set({INEG, IINC, IDEC, BITNOT, LT, LE, GT, GE}, {kInt}, kInt);
  set({ITOF}, {kInt}, kFloat);
  set({FTOI}, {kFloat}, kInt);
  set({FADD, FSUB, FMUL, FDIV, FMOD}, {kFloat, kFloat}, kFloat);
  set({FCMP}, {kFloat, kFloat}, kInt);
  set({FNEG, FINC, FDEC}, {kFloat}, kFloat);
  set({NOT, FNOT, TOBOOL}, {kNumber}, kInt);
  set({PUSH0}, {}, kZero);
  set({PUSH1}, {}, kInt);
  set({PUSHI, GETME}, {}, kNumber);
  set({NEWSTR, PUSHSTR}, {}, kString);
  set({NEW, STATIC, GETMEREF}, {}, kRef);
  set({POP, JZ, JNZ, SETME}, {kNumber}, kNothing);
  set({JZKEEP, JNZKEEP, SETMEKEEP}, {kNumber}, kNumber);
  set({POPREF, SETMEREF}, {kRef}, kNothing);
  set({SETMEREFKEEP}, {kRef}, kRef);
  set({JLT, JLE, JGT, JGE, SWITCH}, {kInt}, kNothing);
  set({JMP, WAIT, RET}, {}, kNothing);
  set({NEWARRAY, NEWREFARRAY}, {kInt}, kRef);
  set({ASIZE, SSIZE}, {kRef}, kInt);
  set({ACOPY, CAST}, {kRef}, kRef);
  set({SCOPY}, {kRef}, kString);
  set({ALOAD}, {kInt, kRef}, kNumber);
  set({ALOADREF}, {kInt, kRef}, kRef);
  set({SLOAD}, {kInt, kRef}, kInt);
  set({ASTORE}, {kNumber, kInt, kRef}, kNothing);
  set({ASTOREREF}, {kRef, kInt, kRef}, kNothing);
  set({SSTORE}, {kInt, kInt, kRef}, kNothing);
  set({ASLICE, ASLICEREF}, {kInt, kInt, kRef}, kRef);
  set({SSUB}, {kInt, kInt, kRef}, kString);
  set({ASPLICE, ASPLICEREF, SSPLICE}, {kRef, kInt, kInt, kRef}, kNothing);
  set({ITOS}, {kInt}, kString);
  set({BTOS}, {kNumber}, kString);
  set({FTOS}, {kFloat}, kString);
  set({SCMP, REFNE}, {kRef, kRef}, kInt);
  set({SCAT}, {kRef, kRef}, kString);
  set({ISCLASS, ISNULL, NOTNULL}, {kRef}, kInt);
  set({GETM}, {kRef}, kNumber);
  set({GETMREF}, {kRef}, kRef);
  set({SETM}, {kNumber, kRef}, kNothing);
  set({SETMREF}, {kRef, kRef}, kNothing);
  return t;
}

constexpr std::array<Rule, 256> kRules = RuleTable();

// The kind a call site records for an argument of each settled kind.
constexpr uint8_t kArgumentKinds[kCall] = {kKindNone,      kKindPlain,     kKindPlain, kKindPlain,
                                           kKindReference, kKindReference, kKindNone,  kKindNone};

const char* KindName(uint32_t k) {
  switch (k) {
    case kInt:
    case kFloat:
    case kNumber:
      return "a number";
    case kString:
    case kRef:
      return "a reference";
    default:
      return "a value of mixed kinds";
  }
}

// How RunInOrder goes on after each opcode; for those that fall through
// without a target and take a fixed count, what they take and push.
enum InOrderFlow : uint8_t { kFallsThrough, kReturns, kOther };

struct alignas(4) InOrderStep {
  InOrderFlow flow = kOther;
  uint8_t pops = 0;
  uint8_t pushes = 0;
};

constexpr std::array<InOrderStep, 256> InOrderTable() {
  std::array<InOrderStep, 256> t{};
  for (uint32_t op = 0; op < kOpcodeCount; ++op) {
    const GSOperandKind operands = kGSOpcodeTable[op].operands;
    const bool other = operands == GSOperandKind::Jump || operands == GSOperandKind::Wait ||
                       operands == GSOperandKind::Switch || stack_effect::kEffects[op].call;
    const bool returns = op == RET || op == RETV || op == RETREF;
    t[op].flow = returns ? kReturns : other ? kOther : kFallsThrough;
    t[op].pops = stack_effect::kPops[op];
    t[op].pushes = static_cast<uint8_t>(stack_effect::kEffects[op].pushes);
  }
  return t;
}

constexpr std::array<InOrderStep, 256> kInOrderSteps = InOrderTable();

// RunInOrder takes what an instruction pushes as a count.
constexpr bool NoInstructionPushesLessThanNothing() {
  for (const stack_effect::StackEffect& effect : stack_effect::kEffects)
    if (effect.pushes < 0) return false;
  return true;
}
static_assert(NoInstructionPushesLessThanNothing());

// Whether an operand of kind k (below kCall) fits where kind `want` is
// taken: 0 fits anywhere, a reference where a reference is taken, a number
// of either kind where a number is, and int or float where that or a
// number of either kind is.
constexpr std::array<std::array<bool, kCall>, kCall> FitsTable() {
  std::array<std::array<bool, kCall>, kCall> t{};
  for (uint32_t want = 0; want < kCall; ++want)
    for (uint32_t k = 0; k < kCall; ++k) {
      if (k == kZero)
        t[want][k] = true;
      else if (want == kRef)
        t[want][k] = IsRef(k);
      else if (want == kNumber)
        t[want][k] = IsPlain(k);
      else
        t[want][k] = k == want || k == kNumber;
    }
  return t;
}

constexpr std::array<std::array<bool, kCall>, kCall> kFits = FitsTable();

// Calls `reach` with each target of the WAIT or SWITCH at `p` (SWITCH's
// default last) until one answers false.
template <typename Reach>
bool EachTableTarget(const uint8_t* p, Reach reach) {
  const uint32_t n = GSReadU16(p + 1);
  for (uint32_t k = 0; k < n + (*p == SWITCH ? 1u : 0u); ++k)
    if (!reach(GSReadU32(p + 3 + 4 * n + 4 * k))) return false;
  return true;
}

class KindFlow {
 public:
  KindFlow(GSDecodedCode& code, const GSFunction& fn, GSKindStorage& storage)
      : code_(code),
        fn_(fn),
        offsets_(storage.offsets),
        states_(storage.states),
        callOf_(storage.callOf),
        parent_(storage.parent),
        resolved_(storage.resolved),
        refSlot_(storage.refSlot),
        seen_(storage.seen),
        work_(storage.work),
        curStorage_(storage.cur) {}

  // The depths and kinds in one pass over the code in offset order, for
  // code where that pass sees what the walks of GSCheckStackDepth and Run
  // would see: every instruction is taken with the depth and kinds that
  // every path brings it, which holds when all paths that meet bring the
  // same depth and kinds and no path jumps back to an instruction no path
  // had reached before it. True when the code passes; false when it does
  // not or the pass cannot tell (the walks then decide, from the start).
  bool RunInOrder(uint32_t maxDepth, std::pmr::vector<GSCallSite>& calls, std::string& error) {
    const size_t n = code_.count;
    if (n == 0) return false;
    GSSettleCallResults(code_);
    // Nothing here is cleared per function: the depth of every instruction
    // that calls or that paths may meet at is written as the pass comes to
    // it (BuildSites reads no other), and code.joins tells which
    // instructions call or were reached ahead.
    if (code_.depth.size() < n) code_.depth.resize(n);
    if (offsets_.size() < n) offsets_.resize(n);
    if (callOf_.size() < n) callOf_.resize(n);
    uint8_t* joins = code_.joins.data();
    const uint32_t callCount = static_cast<uint32_t>(code_.calls.size());
    for (uint32_t c = 0; c < callCount; ++c) {
      callOf_[code_.calls[c]] = static_cast<int32_t>(c);
      joins[code_.calls[c]] |= kCallMark;
    }
    parent_.resize(callCount);
    for (uint32_t c = 0; c < callCount; ++c) parent_[c] = c;
    resolved_.assign(callCount, kKindNone);
    PrepareSlots();
    statesUsed_ = 0;
    // WAIT's message may lie above the deepest stack the code may have.
    const uint64_t room = uint64_t{maxDepth} + 2;
    if (room > kMaxTrackedSlots) return false;
    if (curStorage_.size() < room) curStorage_.resize(room);
    cur_ = curStorage_.data();
    top_ = 0;
    int64_t* depth = code_.depth.data();
    const uint8_t* ops = code_.ops.data();
    const uint32_t* starts = code_.starts.data();
    const uint8_t* code = code_.code;
    // No depth is above maxDepth, so the bound on the stored kinds needs no
    // count where every instruction at that depth stays below it.
    const bool countBound = uint64_t{n} * maxDepth > kMaxTrackedSlots;
    // Code whose last instruction falls through runs off its end, if a path
    // reaches it: the walks tell, and the steps below need not look.
    if (kInOrderSteps[ops[n - 1]].flow == kFallsThrough) return false;
    uint64_t bound = 0;
    bool reached = true;  // whether the previous instruction falls through
    // The depth at hand lives here, in a register, and in top_ only for
    // the steps out of line.
    uint32_t* const cur = cur_;
    size_t top = 0;
    for (uint32_t i = 0; i < n; ++i) {
      if (joins[i] != 0) {
        top_ = top;
        if (reached && !Arrive(i)) return false;
        if ((joins[i] & kArrived) == 0) {
          depth[i] = -1;
          continue;
        }
        top = static_cast<size_t>(depth[i]);
        std::copy_n(states_.data() + offsets_[i], top, cur);
      } else if (!reached) {
        continue;
      }
      if (countBound) {
        bound += top;
        if (bound > kMaxTrackedSlots) return false;  // before the stored kinds can grow past it
      }
      // The opcode from its own list: the steps below branch on it long
      // before the instruction's bytes arrive. No offset is kept for
      // messages: a refusal here goes to the walks, which give the reason.
      const uint8_t op = ops[i];
      const InOrderStep step = kInOrderSteps[op];
      if (step.flow == kFallsThrough) {  // most instructions
        // Depths stay below kMaxTrackedSlots (room, above): 32 bits hold them.
        const uint32_t d = static_cast<uint32_t>(top);
        if (d < step.pops || d - step.pops + step.pushes > maxDepth) return false;
        if (!ApplyInOrder(i, code + starts[i], op, cur, top, error)) return false;
        reached = true;
        continue;
      }
      if (step.flow == kReturns) {
        // RET finds the stack empty, RETV and RETREF one value of the kind
        // the signature gives.
        if (top != (op == RET ? 0u : 1u)) return false;
        if (op != RET) {
          const bool ref = op == RETREF;
          if (fn_.returnKind != (ref ? kKindReference : kKindPlain) ||
              !NeedAt(cur, top, 0, ref ? kRef : kNumber, error))
            return false;
        }
        reached = false;
        continue;
      }
      if (op >= JZ && op <= JGE) {  // the conditional jumps: by their rule, then the target
        const uint32_t d = static_cast<uint32_t>(top);
        if (d < step.pops || d - step.pops + step.pushes > maxDepth || i + 1 >= n) return false;
        if (!ApplyRuleAt(kRules[op], cur, top, error)) return false;
        top_ = top;
        if (!ArriveAt(GSReadU32(code + starts[i] + 1), i)) return false;
        reached = true;
        continue;
      }
      if (stack_effect::kEffects[op].call) {
        // The object and the arguments go; what the callee leaves, as
        // settled by the code after the call, comes.
        const uint32_t pops = 1u - static_cast<int16_t>(GSReadU16(code + starts[i] + 1));
        const int8_t leaves = code_.leaves[i];
        if (pops > top || top - pops + static_cast<uint32_t>(leaves) > maxDepth || i + 1 >= n ||
            !NeedAt(cur, top, pops - 1, kRef, error))
          return false;
        top -= pops;
        if (leaves == 1) cur[top++] = Normal(kCall + static_cast<uint32_t>(callOf_[i]));
        reached = true;
        continue;
      }
      top_ = top;
      if (!StepInOrder(i, code + starts[i], maxDepth, error)) return false;
      top = top_;
      reached = false;
    }
    return BuildSites(calls, error);
  }

  // A step of RunInOrder that falls through: the common ones here, the
  // others out of line, so that the pass keeps its values in registers.
  // `cur` and `top` are the pass's own: cur_ and top_ hold them only
  // for the steps out of line.
  [[gnu::always_inline]] bool ApplyInOrder(uint32_t i, const uint8_t* p, uint8_t op,
                                           uint32_t* cur, size_t& top, std::string& error) {
    const Rule& rule = kRules[op];
    if (rule.takes != kSpecial) return ApplyRuleAt(rule, cur, top, error);
    if (op == LOAD || op == LOADREF) {
      if (!SlotIs(GSReadU16(p + 1), op == LOADREF, error)) return false;
      cur[top++] = op == LOADREF ? kRef : kNumber;
      return true;
    }
    if (op == STORE || op == STOREREF) {
      const bool ref = op == STOREREF;
      if (!SlotIs(GSReadU16(p + 1), ref, error) || !NeedAt(cur, top, 0, ref ? kRef : kNumber, error))
        return false;
      --top;
      return true;
    }
    top_ = top;
    if (!ApplyOutOfLine(i, p, op, error)) return false;
    top = top_;
    return true;
  }

  // An instruction of the rule table on the pass's own operands: the
  // operands it takes, unrolled (a loop costs more than the operands), then
  // what it gives.
  [[gnu::always_inline]] bool ApplyRuleAt(const Rule& rule, uint32_t* cur, size_t& top,
                                          std::string& error) {
    const uint32_t takes = rule.takes;
    if (takes > 0 && !NeedAt(cur, top, 0, rule.wants[0], error)) return false;
    if (takes > 1 && !NeedAt(cur, top, 1, rule.wants[1], error)) return false;
    if (takes > 2 && !NeedAt(cur, top, 2, rule.wants[2], error)) return false;
    if (takes > 3 && !NeedAt(cur, top, 3, rule.wants[3], error)) return false;
    top -= takes;
    if (rule.gives != kGivesNothing) cur[top++] = rule.gives;
    return true;
  }

  [[gnu::noinline]] bool ApplyOutOfLine(uint32_t i, const uint8_t* p, uint8_t op,
                                        std::string& error) {
    return Apply(i, p, op, error);
  }

  // A step of RunInOrder that jumps for good, waits or switches (the
  // others are inline there): true when the pass can go on, which it does
  // at an instruction that some jump reaches.
  [[gnu::noinline]] bool StepInOrder(uint32_t i, const uint8_t* p, uint32_t maxDepth,
                                     std::string& error) {
    const uint8_t op = *p;
    const int64_t d = static_cast<int64_t>(top_);
    const int64_t pops = GSStackPops(p);
    if (pops > d) return false;
    const int64_t after = d - pops + GSStackPushes(p, code_.leaves[i]);
    if (after + (op == WAIT ? 1 : 0) > int64_t{maxDepth}) return false;
    if (!Apply(i, p, op, error)) return false;
    switch (op) {
      case JMP:
        return ArriveAt(GSReadU32(p + 1), i);
      case SWITCH:
      case WAIT:
        if (op == WAIT) Push(kRef);  // the delivered message
        return EachTableTarget(p, [&](uint32_t target) { return ArriveAt(target, i); });
      default:  // nothing else comes here
        return false;
    }
  }

  bool Run(std::pmr::vector<GSCallSite>& calls, std::string& error) {
    if (!Prepare(error)) return false;
    for (int pass = 0;; ++pass) {
      if (pass == kMaxPasses) return Fail(0, "the kinds of call results do not settle", error);
      changed_ = false;
      if (!Walk(error)) return false;
      if (!changed_) break;
    }
    return BuildSites(calls, error);
  }

 private:
  // The failure paths stay out of the walk's inlined steps.
  [[gnu::cold, gnu::noinline]] bool Fail(uint32_t at, const std::string& what,
                                         std::string& error) const {
    error = "offset " + std::to_string(at) + ": " + what;
    return false;
  }

  // Kinds are stored only before the instructions where paths may meet
  // (code.joins) and before calls (BuildSites reads their arguments); the
  // others are reached only by falling through and take the kinds at hand.
  // The bound counts every instruction, as if each stored its kinds.
  bool Prepare(std::string& error) {
    const size_t n = code_.count;
    offsets_.resize(n);
    callOf_.assign(n, -1);
    const uint32_t callCount = static_cast<uint32_t>(code_.calls.size());
    for (uint32_t c = 0; c < callCount; ++c) callOf_[code_.calls[c]] = static_cast<int32_t>(c);
    uint64_t bound = 0;
    uint64_t total = 0;
    int64_t deepest = 0;
    const int64_t* depth = code_.depth.data();
    const uint8_t* joins = code_.joins.data();
    const int32_t* callOf = callOf_.data();
    for (size_t i = 0; i < n; ++i) {
      const int64_t d = depth[i];
      if (d <= 0) {
        offsets_[i] = total;
        continue;
      }
      bound += static_cast<uint64_t>(d);
      deepest = std::max(deepest, d);
      offsets_[i] = total;
      if (joins[i] != 0 || callOf[i] >= 0) total += static_cast<uint64_t>(d);
    }
    if (bound > kMaxTrackedSlots) return Fail(0, "too large to check", error);
    states_.assign(total, kZero);
    // WAIT pushes the message above the deepest stack before its targets.
    if (curStorage_.size() < static_cast<size_t>(deepest) + 2)
      curStorage_.resize(static_cast<size_t>(deepest) + 2);
    cur_ = curStorage_.data();
    top_ = 0;
    parent_.resize(callCount);
    for (uint32_t c = 0; c < callCount; ++c) parent_[c] = c;
    resolved_.assign(callCount, kKindNone);
    PrepareSlots();
    return true;
  }

  void PrepareSlots() {
    refSlot_.assign(fn_.params + fn_.recordOffset - 1, 0);
    refSlot_[0] = 1;
    for (uint32_t r = 0; r < fn_.referenceSlots.count; ++r) refSlot_[fn_.referenceSlots.At(r)] = 1;
  }

  // RunInOrder: the kinds at hand reach instruction `j`, which keeps them
  // when no path reached it before and must have exactly them otherwise.
  bool Arrive(uint32_t j) {
    int64_t& known = code_.depth[j];
    if ((code_.joins[j] & kArrived) == 0) {
      code_.joins[j] |= kArrived;
      known = static_cast<int64_t>(top_);
      // The words in use are counted here: states_ keeps its size from one
      // function to the next and grows only when this one needs more.
      offsets_[j] = statesUsed_;
      if (states_.size() - statesUsed_ < top_) states_.resize(2 * (statesUsed_ + top_));
      std::copy_n(cur_, top_, states_.data() + statesUsed_);
      statesUsed_ += top_;
      return true;
    }
    if (known != static_cast<int64_t>(top_)) return false;
    const uint32_t* state = states_.data() + offsets_[j];
    for (size_t e = 0; e < top_; ++e)
      if (Normal(state[e]) != Normal(cur_[e])) return false;
    return true;
  }

  // A jump from instruction `from` to `offset`: ahead, it is reached; at
  // or before `from`, it must have been reached already with these kinds.
  bool ArriveAt(uint32_t offset, uint32_t from) {
    const int32_t j = code_.IndexOf(offset);
    if (j < 0) return false;
    if (static_cast<uint32_t>(j) <= from && (code_.joins[j] & kArrived) == 0) return false;
    return Arrive(static_cast<uint32_t>(j));
  }

  uint32_t Find(uint32_t c) {
    while (parent_[c] != c) c = parent_[c] = parent_[parent_[c]];
    return c;
  }

  // The kind with every settled call result replaced by its kind.
  uint32_t Normal(uint32_t k) {
    if (k < kCall) return k;
    const uint32_t root = Find(k - kCall);
    if (resolved_[root] == kKindPlain) return kNumber;
    if (resolved_[root] == kKindReference) return kRef;
    return kCall + root;
  }

  // Fixes the kind that call result `k` is expected to have.
  bool Settle(uint32_t k, uint8_t kind) {
    const uint32_t root = Find(k - kCall);
    if (resolved_[root] == kind) return true;
    if (resolved_[root] != kKindNone) return false;
    // No further pass for this: a walk that meets the result settled from
    // the start takes the same decisions. Every use of an open result
    // settles it or finds it settled alike, a join with it gives what the
    // settled kind would, and states keep the open result, which reads as
    // its kind once settled (Normal); SWAP, the one instruction that
    // refuses an open result, ends the check at once.
    resolved_[root] = kind;
    return true;
  }

  uint32_t Join(uint32_t a, uint32_t b) {
    a = Normal(a);
    b = Normal(b);
    if (a == b) return a;
    if (a == kZero) return b;
    if (b == kZero) return a;
    if (a >= kCall && b >= kCall) {
      parent_[b - kCall] = a - kCall;
      changed_ = true;
      return a;
    }
    if (a >= kCall || b >= kCall) {
      const uint32_t open = a >= kCall ? a : b;
      const uint32_t other = a >= kCall ? b : a;
      if (IsPlain(other) && Settle(open, kKindPlain)) return kNumber;
      if (IsRef(other) && Settle(open, kKindReference)) return kRef;
      return kMixed;
    }
    if (IsPlain(a) && IsPlain(b)) return kNumber;
    if (IsRef(a) && IsRef(b)) return kRef;
    return kMixed;
  }

  // The operand `back` places below the top must be of the kind asked for.
  [[gnu::always_inline]] bool Need(size_t back, uint32_t want, std::string& error) {
    return NeedAt(cur_, top_, back, want, error);
  }

  [[gnu::always_inline]] bool NeedAt(uint32_t* cur, size_t top, size_t back, uint32_t want,
                                     std::string& error) {
    uint32_t& slot = cur[top - 1 - back];
    const uint32_t k = slot;
    if (k >= kCall) return NeedOfCallResult(slot, want, error);
    if (kFits[want][k]) return true;
    return Mismatch(want, k, error);
  }

  // Need for an operand that was a call's result when it was pushed: out
  // of line, so that the common steps keep their values in registers.
  [[gnu::noinline]] bool NeedOfCallResult(uint32_t& slot, uint32_t want, std::string& error) {
    const uint32_t k = Normal(slot);
    slot = k;
    if (k >= kCall) {
      if (Settle(k, want == kRef ? kKindReference : kKindPlain)) return true;
      return Mismatch(want, k, error);
    }
    if (kFits[want][k]) return true;
    return Mismatch(want, k, error);
  }

  [[gnu::cold, gnu::noinline]] bool Mismatch(uint32_t want, uint32_t k, std::string& error) const {
    const char* wanted = want == kRef     ? "a reference"
                         : want == kInt   ? "an int"
                         : want == kFloat ? "a float"
                                          : "a number";
    return Fail(at_, std::string("takes ") + wanted + " but finds " + KindName(k), error);
  }

  void Pop(size_t n) { top_ -= n; }
  void Push(uint32_t k) { cur_[top_++] = k; }

  bool Walk(std::string& error) {
    seen_.assign(code_.count, 0);
    work_.assign(1, 0);
    seen_[0] = 1;
    while (!work_.empty()) {
      uint32_t i = work_.back();
      work_.pop_back();
      top_ = static_cast<size_t>(Depth(i));
      std::copy_n(states_.data() + offsets_[i], top_, cur_);
      // Straight-line code goes on with the kinds at hand: the instruction
      // that falls through to one reached for the first time would push it
      // last and take it next, with the same kinds.
      for (;;) {
        next_ = -1;
        if (!Step(i, error)) return false;
        if (next_ < 0) break;
        i = static_cast<uint32_t>(next_);
      }
    }
    return true;
  }

  uint64_t Depth(uint32_t i) const { return static_cast<uint64_t>(code_.depth[i]); }

  // Joins the current kinds into those before instruction `offset`.
  // The fall-through successor, reached last, may go on at once (Walk).
  bool Reach(uint32_t offset, std::string& error, bool fallThrough = false) {
    return ReachIndex(code_.IndexOf(offset), offset, error, fallThrough);
  }

  // Instruction `j` (-1 when none starts at `offset`) at `offset`.
  [[gnu::always_inline]] bool ReachIndex(int32_t j, uint32_t offset, std::string& error,
                                         bool fallThrough) {
    if (j < 0 || Depth(static_cast<uint32_t>(j)) != top_)
      return Fail(offset, "the stack depths disagree", error);
    if (fallThrough && code_.joins[j] == 0 && callOf_[j] < 0) {
      next_ = j;  // reached only from here: nothing to store or join
      return true;
    }
    uint32_t* state = states_.data() + offsets_[static_cast<uint32_t>(j)];
    if (seen_[j] == 0) {
      if (top_ == 1)
        state[0] = cur_[0];  // the common case, without a call to copy one word
      else
        std::copy_n(cur_, top_, state);
      seen_[j] = 1;
      if (fallThrough)
        next_ = j;
      else
        work_.push_back(static_cast<uint32_t>(j));
      return true;
    }
    bool grew = false;
    for (size_t e = 0; e < top_; ++e) {
      const uint32_t old = Normal(state[e]);
      const uint32_t k = Join(old, cur_[e]);
      grew = grew || k != old;
      state[e] = k;
    }
    if (grew) work_.push_back(static_cast<uint32_t>(j));
    return true;
  }

  [[gnu::always_inline]] bool SlotIs(uint32_t slot, bool ref, std::string& error) {
    if ((refSlot_[slot] != 0) == ref) return true;
    return SlotMismatch(slot, ref, error);
  }

  [[gnu::cold, gnu::noinline]] bool SlotMismatch(uint32_t slot, bool ref,
                                                 std::string& error) const {
    return Fail(at_,
                std::string("frame slot ") + std::to_string(slot) +
                    (ref ? " holds no reference" : " holds a reference"),
                error);
  }

  bool Step(uint32_t i, std::string& error) {
    at_ = code_.starts[i];
    const uint8_t* p = code_.code + at_;
    const uint8_t op = *p;
    if (!Apply(i, p, error)) return false;
    switch (op) {
      case RET:
      case RETV:
      case RETREF:
        return true;
      case JMP:
        return Reach(GSReadU32(p + 1), error);
      case SWITCH:
      case WAIT:
        if (op == WAIT) Push(kRef);  // the delivered message
        return EachTableTarget(p, [&](uint32_t target) { return Reach(target, error); });
      default:
        break;
    }
    if (op >= JZ && op <= JGE && !Reach(GSReadU32(p + 1), error)) return false;
    return ReachIndex(static_cast<int32_t>(i + 1), code_.starts[i + 1], error, true);
  }

  // An instruction of the rule table: its operands, then its result.
  [[gnu::always_inline]] bool ApplyRule(const Rule& rule, std::string& error) {
    return ApplyRuleAt(rule, cur_, top_, error);
  }

  [[gnu::always_inline]] bool Apply(uint32_t i, const uint8_t* p, std::string& error) {
    return Apply(i, p, *p, error);
  }

  // `op` is *p, read already.
  [[gnu::always_inline]] bool Apply(uint32_t i, const uint8_t* p, uint8_t op,
                                    std::string& error) {
    const Rule& rule = kRules[op];
    if (rule.takes != kSpecial) return ApplyRule(rule, error);
    switch (op) {
      case LOAD:
      case LOADREF:
        if (!SlotIs(GSReadU16(p + 1), op == LOADREF, error)) return false;
        Push(op == LOADREF ? kRef : kNumber);
        return true;
      case STORE:
      case STOREKEEP:
      case STOREREF:
      case STOREREFKEEP: {
        const bool ref = op == STOREREF || op == STOREREFKEEP;
        if (!SlotIs(GSReadU16(p + 1), ref, error) || !Need(0, ref ? kRef : kNumber, error))
          return false;
        if (op == STORE || op == STOREREF) Pop(1);
        return true;
      }
      case DUP:
      case DUPREF:
        if (!Need(0, op == DUPREF ? kRef : kNumber, error)) return false;
        Push(cur_[top_ - 1]);
        return true;
      case DUP2REF: {
        if (!Need(0, kNumber, error) || !Need(1, kRef, error)) return false;
        const uint32_t a = cur_[top_ - 2], b = cur_[top_ - 1];
        Push(a);
        Push(b);
        return true;
      }
      case SWAP: {
        const uint32_t a = Normal(cur_[top_ - 2]), b = Normal(cur_[top_ - 1]);
        if (a >= kCall || b >= kCall) return Fail(at_, "moves a call's result", error);
        cur_[top_ - 2] = b;
        cur_[top_ - 1] = a;
        return true;
      }
      case RETV:
      case RETREF: {
        const bool ref = op == RETREF;
        if (fn_.returnKind != (ref ? kKindReference : kKindPlain))
          return Fail(at_, "returns what the signature does not", error);
        return Need(0, ref ? kRef : kNumber, error);
      }
      case CALL:
      case CALLNATIVE:
      case START:
      case INHERITED: {
        const size_t n = static_cast<size_t>(1 - static_cast<int16_t>(GSReadU16(p + 1)));
        if (!Need(n - 1, kRef, error)) return false;
        Pop(n);
        if (code_.leaves[i] == 1) Push(Normal(kCall + static_cast<uint32_t>(callOf_[i])));
        return true;
      }
      default:  // the KEEP stores: the stored value stays as the result
        return ApplyKeep(op, error);
    }
  }

  // ASTOREKEEP ... SSPLICEKEEP, SETMKEEP, SETMREFKEEP: the operands of the
  // plain store, then the stored value (the top operand) is pushed back.
  [[gnu::noinline]] bool ApplyKeep(uint8_t op, std::string& error) {
    uint8_t plain;
    switch (op) {
      case ASTOREKEEP:
        plain = ASTORE;
        break;
      case ASTOREREFKEEP:
        plain = ASTOREREF;
        break;
      case SSTOREKEEP:
        plain = SSTORE;
        break;
      case ASPLICEKEEP:
        plain = ASPLICE;
        break;
      case ASPLICEREFKEEP:
        plain = ASPLICEREF;
        break;
      case SSPLICEKEEP:
        plain = SSPLICE;
        break;
      case SETMKEEP:
        plain = SETM;
        break;
      case SETMREFKEEP:
        plain = SETMREF;
        break;
      default:
        return Fail(at_, "unknown instruction", error);
    }
    const uint32_t kept = cur_[top_ - 1];
    if (!ApplyRule(kRules[plain], error)) return false;
    Push(kept);
    return true;
  }

  bool BuildSites(std::pmr::vector<GSCallSite>& calls, std::string& error) {
    calls.clear();
    calls.reserve(code_.calls.size());
    for (uint32_t i : code_.calls) {
      if (code_.depth[i] < 0) continue;
      at_ = code_.starts[i];
      const uint8_t* p = code_.code + at_;
      const uint32_t n = 1u - static_cast<int16_t>(GSReadU16(p + 1));
      // Made here and moved in whole: a site made in place would be cleared
      // first by a string instruction, which costs more than the site.
      GSCallSite site;
      site.offset = at_;
      site.argumentSlots = n;
      if (code_.leaves[i] == 1) {
        const uint32_t k = Normal(kCall + static_cast<uint32_t>(callOf_[i]));
        site.leaves = GSCallSite::kCallResultPassedOn;
        if (k == kNumber) site.leaves = kKindPlain;
        if (k == kRef) site.leaves = kKindReference;
      }
      const uint32_t* args = states_.data() + offsets_[i] + Depth(i) - n;
      if (n > 64) site.wide.assign(n, kKindNone);
      for (uint32_t j = 0; j < n; ++j) {
        const uint32_t k = Normal(args[j]);
        const uint8_t kind = k >= kCall ? GSCallSite::kCallResultPassedOn : kArgumentKinds[k];
        if (k == kMixed) return Fail(at_, "passes a value of mixed kinds", error);
        if (n > 64) {
          site.wide[j] = kind;
          continue;
        }
        const uint64_t bit = uint64_t{1} << j;
        if (kind == kKindPlain || kind == kKindReference) site.known |= bit;
        if (kind == kKindReference) site.refs |= bit;
        if (kind == GSCallSite::kCallResultPassedOn) site.passedOn |= bit;
      }
      calls.push_back(std::move(site));
    }
    return true;
  }

  GSDecodedCode& code_;
  const GSFunction& fn_;
  uint32_t at_ = 0;
  bool changed_ = false;
  std::vector<uint64_t>& offsets_;
  std::vector<uint32_t>& states_;
  size_t statesUsed_ = 0;  // RunInOrder: the words of states_ that hold kinds
  std::vector<int32_t>& callOf_;
  std::vector<uint32_t>& parent_;
  std::vector<uint8_t>& resolved_;
  std::vector<uint8_t>& refSlot_;
  std::vector<uint8_t>& seen_;
  std::vector<uint32_t>& work_;
  std::vector<uint32_t>& curStorage_;
  uint32_t* cur_ = nullptr;  // the operand kinds at hand, curStorage_'s words
  size_t top_ = 0;
  int32_t next_ = -1;  // the fall-through instruction Step first reached, or -1
};

}  // namespace

bool GSCheckValueKinds(GSDecodedCode& code, const GSFunction& fn, GSKindStorage& storage,
                       std::pmr::vector<GSCallSite>& calls, std::string& error) {
  KindFlow flow(code, fn, storage);
  return flow.Run(calls, error);
}

bool GSCheckDepthsAndKinds(GSDecodedCode& code, const GSFunction& fn, uint32_t maxDepth,
                           GSKindStorage& storage, std::pmr::vector<GSCallSite>& calls,
                           std::string& error) {
  {
    KindFlow flow(code, fn, storage);
    if (flow.RunInOrder(maxDepth, calls, error)) return true;
  }
  calls.clear();
  if (!GSCheckStackDepth(code, maxDepth, error)) return false;
  return GSCheckValueKinds(code, fn, storage, calls, error);
}

}  // namespace GSRuntime
