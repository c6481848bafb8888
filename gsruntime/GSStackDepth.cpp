#include "gsruntime/GSStackDepth.h"

#include <algorithm>
#include <utility>

#include "gscompiler/bytecode/GSOpcodes.h"

namespace GSRuntime {

using namespace GSByteCode;

namespace {

constexpr size_t kMaxTerms = 32;            // unknowns one depth may carry
constexpr uint64_t kWorkBudget = 50000000;  // term visits per function

struct Term {
  uint32_t var;
  int32_t coef;
};

// c + the sum of coef * unknown over the terms.
struct Expr {
  int64_t c = 0;
  std::vector<Term> terms;
};

Expr Plus(const Expr& a, int64_t c) {
  Expr e = a;
  e.c += c;
  return e;
}

Expr Minus(const Expr& a, const Expr& b) {
  Expr e = a;
  e.c -= b.c;
  for (const Term& t : b.terms) e.terms.push_back({t.var, -t.coef});
  return e;
}

enum class Rel : uint8_t { Eq, Ge, Le };  // e == 0, e >= 0, e <= 0
enum class Rule : uint8_t { Underflow, Overflow, Join, Return };

struct Constraint {
  Expr e;
  Rel rel;
  Rule rule;
  uint32_t at;
};

class Solver {
 public:
  struct State {
    std::vector<int8_t> values;
    std::vector<Constraint> pending;
  };

  explicit Solver(uint32_t maxDepth) : maxDepth_(maxDepth) {}

  uint32_t NewVar() {
    values_.push_back(-1);
    return static_cast<uint32_t>(values_.size() - 1);
  }
  size_t VarCount() const { return values_.size(); }
  int8_t Value(uint32_t var) const { return values_[var]; }

  // Folds the unknowns that are fixed into the constant and merges terms.
  void Normalize(Expr& e) {
    std::vector<Term> kept;
    for (const Term& t : e.terms) {
      if (values_[t.var] >= 0) e.c += int64_t{t.coef} * values_[t.var];
      else kept.push_back(t);
    }
    std::sort(kept.begin(), kept.end(), [](const Term& a, const Term& b) { return a.var < b.var; });
    e.terms.clear();
    for (const Term& t : kept) {
      if (!e.terms.empty() && e.terms.back().var == t.var) e.terms.back().coef += t.coef;
      else e.terms.push_back(t);
    }
    std::erase_if(e.terms, [](const Term& t) { return t.coef == 0; });
    work_ += kept.size() + 1;
  }

  bool Require(Constraint c, std::string& error) {
    Normalize(c.e);
    const Outcome outcome = Apply(c.e, c.rel);
    if (outcome == Outcome::Fails) return Report(c, error);
    if (outcome == Outcome::Open) pending_.push_back(std::move(c));
    return Settle(error);
  }

  bool Fix(uint32_t var, int8_t value, std::string& error) {
    values_[var] = value;
    changed_ = true;
    return Settle(error);
  }

  bool OverBudget() const { return work_ > kWorkBudget; }
  State Save() const { return State{values_, pending_}; }
  void Restore(State state) {
    values_ = std::move(state.values);
    pending_ = std::move(state.pending);
    changed_ = false;
  }

 private:
  enum class Outcome { Holds, Fails, Open };

  // Sets every unknown of `e` to make its term as small (or large) as it
  // can be.
  void SetAll(const Expr& e, bool smallest) {
    for (const Term& t : e.terms) values_[t.var] = static_cast<int8_t>((t.coef > 0) != smallest ? 1 : 0);
    if (!e.terms.empty()) changed_ = true;
  }

  Outcome Apply(const Expr& e, Rel rel) {
    int64_t lo = e.c, hi = e.c;
    for (const Term& t : e.terms) (t.coef < 0 ? lo : hi) += t.coef;
    switch (rel) {
      case Rel::Eq:
        if (lo > 0 || hi < 0) return Outcome::Fails;
        if (lo == 0) return SetAll(e, true), Outcome::Holds;
        if (hi == 0) return SetAll(e, false), Outcome::Holds;
        return Outcome::Open;
      case Rel::Ge:
        if (hi < 0) return Outcome::Fails;
        if (lo >= 0) return Outcome::Holds;
        if (hi == 0) return SetAll(e, false), Outcome::Holds;
        return Outcome::Open;
      case Rel::Le:
        if (lo > 0) return Outcome::Fails;
        if (hi <= 0) return Outcome::Holds;
        if (lo == 0) return SetAll(e, true), Outcome::Holds;
        return Outcome::Open;
    }
    return Outcome::Open;
  }

  bool Settle(std::string& error) {
    while (changed_) {
      changed_ = false;
      for (size_t i = 0; i < pending_.size();) {
        Normalize(pending_[i].e);
        if (OverBudget()) return Report(pending_[i], error, true);
        const Outcome outcome = Apply(pending_[i].e, pending_[i].rel);
        if (outcome == Outcome::Fails) return Report(pending_[i], error);
        if (outcome == Outcome::Open) {
          ++i;
          continue;
        }
        pending_[i] = std::move(pending_.back());
        pending_.pop_back();
      }
    }
    return true;
  }

  bool Report(const Constraint& c, std::string& error, bool budget = false) const {
    std::string what;
    if (budget) what = "the stack depth cannot be determined";
    else if (c.rule == Rule::Underflow) what = "the operand stack holds too few values";
    else if (c.rule == Rule::Overflow) what = "the operand stack grows beyond its maximum of " + std::to_string(maxDepth_);
    else if (c.rule == Rule::Join) what = "paths meet here with different stack depths";
    else what = "the operand stack does not hold what the return needs";
    error = "offset " + std::to_string(c.at) + ": " + what;
    return false;
  }

  uint32_t maxDepth_;
  std::vector<int8_t> values_;
  std::vector<Constraint> pending_;
  bool changed_ = false;
  uint64_t work_ = 0;
};

// Operands an instruction takes from the stack (calls, returns and WAIT
// are handled apart); it pushes this plus its table stack change.
uint32_t Pops(uint8_t op) {
  switch (op) {
    case PUSH0: case PUSH1: case PUSHI: case LOAD: case LOADREF: case NEWSTR: case PUSHSTR: case NEW:
    case STATIC: case GETME: case GETMEREF: case JMP: case WAIT:
      return 0;
    case IADD: case ISUB: case IMUL: case IDIV: case IMOD: case ICMP: case AND: case OR: case XOR: case SHL:
    case SHR: case FADD: case FSUB: case FMUL: case FDIV: case FMOD: case FCMP: case ALOAD: case ALOADREF:
    case SLOAD: case SCMP: case SCAT: case REFNE: case SETM: case SETMREF: case SETMKEEP: case SETMREFKEEP:
    case DUP2REF: case SWAP:
      return 2;
    case ASTORE: case ASTOREREF: case SSTORE: case ASTOREKEEP: case ASTOREREFKEEP: case ASLICE: case ASLICEREF:
    case SSTOREKEEP: case SSUB:
      return 3;
    case ASPLICE: case ASPLICEREF: case SSPLICE: case ASPLICEKEEP: case ASPLICEREFKEEP: case SSPLICEKEEP:
      return 4;
    default:
      return 1;
  }
}

bool IsConditionalJump(uint8_t op) { return op >= JZ && op <= JGE; }

class DepthWalk {
 public:
  DepthWalk(const GSDecodedCode& code, const std::vector<int8_t>& leaves, uint32_t maxDepth)
      : code_(code), leaves_(leaves), maxDepth_(maxDepth), solver_(maxDepth), depth_(code.starts.size()),
        known_(code.starts.size(), 0), callVar_(code.starts.size(), -1) {}

  bool Run(std::vector<uint32_t>& valueCalls, std::string& error) {
    if (code_.starts.empty()) return true;
    known_[0] = 1;
    work_.push_back(0);
    while (!work_.empty()) {
      const uint32_t i = work_.back();
      work_.pop_back();
      if (!Step(i, error)) return false;
    }
    if (!SettleRest(error)) return false;
    Collect(valueCalls);
    return true;
  }

 private:
  bool Step(uint32_t i, std::string& error) {
    const uint32_t at = code_.starts[i];
    const uint8_t* p = code_.code + at;
    const uint8_t op = *p;
    Expr d = depth_[i];
    solver_.Normalize(d);
    if (d.terms.size() > kMaxTerms || solver_.OverBudget()) {
      error = "offset " + std::to_string(at) + ": the stack depth cannot be determined";
      return false;
    }
    if (op == RET || op == RETV || op == RETREF)
      return solver_.Require({Plus(d, op == RET ? 0 : -1), Rel::Eq, Rule::Return, at}, error);
    const bool call = kGSOpcodeTable[op].operands == GSOperandKind::Call || op == INHERITED;
    const int64_t pops = call ? 1 - int64_t{static_cast<int16_t>(GSReadU16(p + 1))} : Pops(op);
    Expr after = Plus(d, -pops);
    if (call) {
      if (leaves_[i] >= 0) {
        after.c += leaves_[i];
      } else {
        callVar_[i] = solver_.NewVar();
        after.terms.push_back({static_cast<uint32_t>(callVar_[i]), 1});
      }
    } else {
      after.c += pops + kGSOpcodeTable[op].stack;
    }
    if (!solver_.Require({Plus(d, -pops), Rel::Ge, Rule::Underflow, at}, error) ||
        !solver_.Require({Plus(after, -int64_t{maxDepth_}), Rel::Le, Rule::Overflow, at}, error))
      return false;
    return Successors(i, p, after, error);
  }

  bool Successors(uint32_t i, const uint8_t* p, const Expr& after, std::string& error) {
    const uint8_t op = *p;
    const uint32_t at = code_.starts[i];
    if (op == JMP) return Reach(GSReadU32(p + 1), after, error);
    if (op == SWITCH || op == WAIT) {
      const uint32_t n = GSReadU16(p + 1);
      const Expr target = Plus(after, op == WAIT ? 1 : 0);
      if (op == WAIT && !solver_.Require({Plus(target, -int64_t{maxDepth_}), Rel::Le, Rule::Overflow, at}, error))
        return false;
      for (uint32_t k = 0; k < n + (op == SWITCH ? 1 : 0); ++k)
        if (!Reach(GSReadU32(p + 3 + 4 * n + 4 * k), target, error)) return false;
      return true;
    }
    if (IsConditionalJump(op) && !Reach(GSReadU32(p + 1), after, error)) return false;
    if (i + 1 >= code_.starts.size()) {
      error = "offset " + std::to_string(at) + ": the code runs past its end";
      return false;
    }
    return Reach(code_.starts[i + 1], after, error);
  }

  bool Reach(uint32_t offset, const Expr& e, std::string& error) {
    const int32_t target = code_.IndexOf(offset);
    if (!known_[target]) {
      known_[target] = 1;
      depth_[target] = e;
      work_.push_back(static_cast<uint32_t>(target));
      return true;
    }
    return solver_.Require({Minus(depth_[target], e), Rel::Eq, Rule::Join, offset}, error);
  }

  // Unknowns that no rule fixed: 1 if that stays consistent, else 0.
  bool SettleRest(std::string& error) {
    for (uint32_t var = 0; var < solver_.VarCount(); ++var) {
      if (solver_.Value(var) >= 0) continue;
      Solver::State saved = solver_.Save();
      if (solver_.Fix(var, 1, error)) continue;
      solver_.Restore(std::move(saved));
      if (!solver_.Fix(var, 0, error)) return false;
    }
    return true;
  }

  void Collect(std::vector<uint32_t>& valueCalls) const {
    for (size_t i = 0; i < code_.starts.size(); ++i) {
      const int8_t leaves = callVar_[i] >= 0 ? solver_.Value(static_cast<uint32_t>(callVar_[i])) : leaves_[i];
      const uint8_t op = code_.code[code_.starts[i]];
      const bool call = kGSOpcodeTable[op].operands == GSOperandKind::Call || op == INHERITED;
      if (call && known_[i] && leaves == 1) valueCalls.push_back(code_.starts[i]);
    }
  }

  const GSDecodedCode& code_;
  const std::vector<int8_t>& leaves_;
  uint32_t maxDepth_;
  Solver solver_;
  std::vector<Expr> depth_;
  std::vector<uint8_t> known_;
  std::vector<int64_t> callVar_;
  std::vector<uint32_t> work_;
};

}  // namespace

bool GSCheckStackDepth(const GSDecodedCode& code, const std::vector<int8_t>& leaves, uint32_t maxDepth,
                       std::vector<uint32_t>& valueCalls, std::string& error) {
  DepthWalk walk(code, leaves, maxDepth);
  return walk.Run(valueCalls, error);
}

}  // namespace GSRuntime
