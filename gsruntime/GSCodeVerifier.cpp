#include "gsruntime/GSCodeVerifier.h"

#include <algorithm>

#include "gscompiler/bytecode/GSOpcodes.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSStackDepth.h"

namespace GSRuntime {

using namespace GSByteCode;

namespace {

std::string At(uint32_t offset, const std::string& what) { return "offset " + std::to_string(offset) + ": " + what; }

bool Decode(const GSFunction& fn, GSDecodedCode& out, std::string& error) {
  out.code = fn.code;
  out.size = fn.codeSize;
  out.indexAt.assign(fn.codeSize, -1);
  for (uint32_t at = 0; at < fn.codeSize;) {
    const uint32_t length = GSInstructionLength(fn.code, fn.codeSize, at);
    if (length == 0) {
      error = At(at, fn.code[at] >= kOpcodeCount ? "illegal opcode " + std::to_string(fn.code[at])
                                                  : std::string("instruction cut off by the end of the code"));
      return false;
    }
    out.indexAt[at] = static_cast<int32_t>(out.starts.size());
    out.starts.push_back(at);
    at += length;
  }
  return true;
}

// The slots of `cls` that hold block headers: 0, 1 and p, p + 1 of every
// ancestor block; sorted.
std::vector<uint32_t> HeaderSlots(const GSClass& cls) {
  std::vector<uint32_t> slots{0, 1};
  for (uint32_t i = 0; i < cls.AncestorCount(); ++i) {
    slots.push_back(cls.AncestorOffset(i));
    slots.push_back(cls.AncestorOffset(i) + 1);
  }
  std::sort(slots.begin(), slots.end());
  return slots;
}

class OperandChecker {
 public:
  OperandChecker(const GSFunction& fn, const GSClass& cls, const GSCodeTables& tables, const GSDecodedCode& code)
      : fn_(fn), cls_(cls), tables_(tables), code_(code), headers_(HeaderSlots(cls)) {}

  bool Check(uint32_t at, std::string& error) const {
    const uint8_t op = code_.code[at];
    const uint8_t* p = code_.code + at + 1;
    switch (kGSOpcodeTable[op].operands) {
      case GSOperandKind::None:
      case GSOperandKind::Immediate:
        return true;
      case GSOperandKind::Slot:
        return Below(GSReadU16(p), fn_.params + fn_.recordOffset - 1, "frame slot", at, error);
      case GSOperandKind::String:
        return Below(GSReadU16(p), tables_.strings, "string", at, error);
      case GSOperandKind::Class:
        return Below(GSReadU16(p), tables_.classRefs, "class reference", at, error);
      case GSOperandKind::Member:
        return Member(op, GSReadU16(p), at, error);
      case GSOperandKind::Jump:
        return Target(GSReadU32(p), at, error);
      case GSOperandKind::Call:
      case GSOperandKind::Inherited:
        if (static_cast<int16_t>(GSReadU16(p)) <= 0) return true;
        error = At(at, "call offset above the stack top");
        return false;
      case GSOperandKind::Wait:
        return Wait(p, at, error);
      case GSOperandKind::Switch: {
        const uint32_t n = GSReadU16(p);
        for (uint32_t i = 0; i <= n; ++i)
          if (!Target(GSReadU32(p + 2 + 4 * n + 4 * i), at, error)) return false;
        return true;
      }
    }
    return true;
  }

 private:
  static bool Below(uint32_t value, uint32_t limit, const char* what, uint32_t at, std::string& error) {
    if (value < limit) return true;
    error = At(at, std::string(what) + " " + std::to_string(value) + " out of range (" + std::to_string(limit) + ")");
    return false;
  }

  bool Target(uint32_t target, uint32_t at, std::string& error) const {
    if (code_.IndexOf(target) >= 0) return true;
    error = At(at, "jump target " + std::to_string(target) + " is not an instruction");
    return false;
  }

  bool Member(uint8_t op, uint32_t member, uint32_t at, std::string& error) const {
    const bool ofMe = op >= GETME && op <= SETMEREFKEEP;
    const bool header = ofMe ? std::binary_search(headers_.begin(), headers_.end(), member) : member < 2;
    if (header) {
      error = At(at, "member " + std::to_string(member) + " is a block header");
      return false;
    }
    return !ofMe || Below(member, cls_.instanceSlots, "member", at, error);
  }

  bool Wait(const uint8_t* p, uint32_t at, std::string& error) const {
    const uint32_t n = GSReadU16(p);
    for (uint32_t i = 0; i < n; ++i) {
      if (!Below(GSReadU16(p + 2 + 4 * i), tables_.strings, "message type", at, error) ||
          !Below(GSReadU16(p + 4 + 4 * i), tables_.strings, "message type", at, error) ||
          !Target(GSReadU32(p + 2 + 4 * n + 4 * i), at, error))
        return false;
    }
    return true;
  }

  const GSFunction& fn_;
  const GSClass& cls_;
  const GSCodeTables& tables_;
  const GSDecodedCode& code_;
  std::vector<uint32_t> headers_;
};

// What each call instruction leaves: START nothing, INHERITED what the
// running function returns, CALL and CALLNATIVE what the function
// references say (-1 when they do not settle it).
std::vector<int8_t> CallLeaves(const GSFunction& fn, const GSDecodedCode& code, const GSCallTable& calls) {
  std::vector<int8_t> leaves(code.starts.size(), -1);
  for (size_t i = 0; i < code.starts.size(); ++i) {
    const uint8_t* p = code.code + code.starts[i];
    const int k = static_cast<int16_t>(GSReadU16(p + 1));
    if (*p == START) leaves[i] = 0;
    if (*p == INHERITED) leaves[i] = fn.ReturnsValue() ? 1 : 0;
    if (*p == CALL || *p == CALLNATIVE) leaves[i] = static_cast<int8_t>(calls.Leaves(GSReadU16(p + 3), static_cast<uint32_t>(-k)));
  }
  return leaves;
}

}  // namespace

int GSSignatureArguments(std::string_view signature) {
  const size_t open = signature.find('(');
  const size_t close = signature.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return -1;
  if (close == open + 1) return 0;
  return 1 + static_cast<int>(std::count(signature.begin() + open, signature.begin() + close, ','));
}

GSCallTable::GSCallTable(const std::vector<GSFunctionRef>& refs) {
  for (const GSFunctionRef& ref : refs) {
    const std::string_view signature = ref.name;
    const int arguments = GSSignatureArguments(signature);
    if (ref.slot < 0 || arguments < 0) continue;
    const int leaves = signature.substr(0, 6) == "$void@" ? 0 : 1;
    const uint64_t key = uint64_t{static_cast<uint32_t>(ref.slot)} << 32 | static_cast<uint32_t>(arguments);
    auto [it, added] = leaves_.emplace(key, leaves);
    if (!added && it->second != leaves) it->second = -1;
  }
}

int GSCallTable::Leaves(uint32_t methodIndex, uint32_t arguments) const {
  const auto it = leaves_.find(uint64_t{methodIndex} << 32 | arguments);
  return it == leaves_.end() ? -1 : it->second;
}

bool GSVerifyCode(GSFunction& fn, const GSClass& cls, const GSCodeTables& tables, std::string& error) {
  fn.valueCalls.clear();
  if (fn.codeSize == 0) return true;
  GSDecodedCode code;
  if (!Decode(fn, code, error)) return false;
  const OperandChecker checker(fn, cls, tables, code);
  for (uint32_t at : code.starts)
    if (!checker.Check(at, error)) return false;
  return GSCheckStackDepth(code, CallLeaves(fn, code, *tables.calls), fn.slotsNeeded - fn.advance, fn.valueCalls,
                           error);
}

}  // namespace GSRuntime
