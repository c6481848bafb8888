#include "gsruntime/GSCodeVerifier.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "gscompiler/bytecode/GSOpcodes.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSFixedLength.h"
#include "gsruntime/GSKindFlow.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSStackDepth.h"

namespace GSRuntime {

using namespace GSByteCode;

namespace {

constexpr uint32_t kNoFailure = UINT32_MAX;

std::string At(uint32_t offset, const std::string& what) {
  return "offset " + std::to_string(offset) + ": " + what;
}

[[gnu::cold, gnu::noinline]] bool OutOfRange(uint32_t value, uint32_t limit, const char* what,
                                             uint32_t at, std::string& error) {
  error = At(at, std::string(what) + " " + std::to_string(value) + " out of range (" +
                     std::to_string(limit) + ")");
  return false;
}

bool Below(uint32_t value, uint32_t limit, const char* what, uint32_t at, std::string& error) {
  return value < limit || OutOfRange(value, limit, what, at, error);
}

// The slots of `cls` that hold block headers: 0, 1 and p, p + 1 of every
// ancestor block; sorted.
void HeaderSlots(const GSClass& cls, std::vector<uint32_t>& slots) {
  slots.assign({0, 1});
  for (uint32_t i = 0; i < cls.AncestorCount(); ++i) {
    slots.push_back(cls.AncestorOffset(i));
    slots.push_back(cls.AncestorOffset(i) + 1);
  }
  std::sort(slots.begin(), slots.end());
}

// How Decode treats each opcode, looked up once per instruction.
enum DecodeClass : uint8_t {
  kPlainOperands,  // nothing to check, or an immediate
  kFrameSlot,      // LOAD, LOADREF
  kStoredSlot,     // STORE ... STOREREFKEEP
  kStringIndex,
  kClassIndex,
  kMemberSlot,
  kCallSite,  // CALL, CALLNATIVE, START, INHERITED
  kBranch,    // JMP, the conditional jumps: checked once every start is known
  kTable,     // WAIT, SWITCH: their length is in their count operand; as kBranch
  kIllegal,
};

// Decode bounds the classes up to kClassIndex by one table of limits.
static_assert(kFrameSlot == 1 && kStoredSlot == 2 && kStringIndex == 3 && kClassIndex == 4);

struct DecodeInfo {
  uint8_t length = 0;  // 0 for WAIT, SWITCH and illegal opcodes
  DecodeClass cls = kIllegal;
};

constexpr std::array<DecodeInfo, 256> DecodeTable() {
  std::array<DecodeInfo, 256> t{};
  for (uint32_t op = 0; op < kOpcodeCount; ++op) {
    DecodeInfo& d = t[op];
    d.length = kGSFixedLength[op];
    switch (kGSOpcodeTable[op].operands) {
      case GSOperandKind::None:
      case GSOperandKind::Immediate:
        d.cls = kPlainOperands;
        break;
      case GSOperandKind::Slot:
        d.cls = op >= STORE && op <= STOREREFKEEP ? kStoredSlot : kFrameSlot;
        break;
      case GSOperandKind::String:
        d.cls = kStringIndex;
        break;
      case GSOperandKind::Class:
        d.cls = kClassIndex;
        break;
      case GSOperandKind::Member:
        d.cls = kMemberSlot;
        break;
      case GSOperandKind::Call:
      case GSOperandKind::Inherited:
        d.cls = kCallSite;
        break;
      case GSOperandKind::Jump:
        d.cls = kBranch;
        break;
      case GSOperandKind::Wait:
      case GSOperandKind::Switch:
        d.cls = kTable;
        break;
    }
  }
  return t;
}

constexpr std::array<DecodeInfo, 256> kDecode = DecodeTable();

}  // namespace

// One pass: also checks the operands that need no other instruction, the
// first failure going to `operandError` at `operandFailedAt`, and lists the
// instructions with targets in `branches_` (their targets are checked once
// every instruction start is known). Notes what each call leaves: START
// nothing, INHERITED what the running function returns; CALL and
// CALLNATIVE are settled by the code after them (-1).
bool GSCodeVerifier::Decode(const GSFunction& fn, uint32_t& operandFailedAt,
                            std::string& operandError, std::string& error) {
  const uint8_t* code = fn.code;
  const uint32_t size = fn.codeSize;
  code_.code = code;
  code_.size = size;
  code_.calls.clear();
  branches_.clear();
  code_.count = 0;
  // At most one instruction per byte.
  if (code_.starts.size() < size) {
    code_.starts.resize(size);
    code_.ops.resize(size);
    code_.leaves.resize(size);
    code_.indexAt.resize(size);
  }
  uint32_t* starts = code_.starts.data();
  uint8_t* ops = code_.ops.data();
  int8_t* leaves = code_.leaves.data();
  int32_t* indexAt = code_.indexAt.data();
  const int8_t inheritedLeaves = fn.ReturnsValue() ? 1 : 0;
  const uint32_t frameSlots = fn.params + fn.recordOffset - 1;
  // The bound of the index operand per decode class, up to kClassIndex.
  const uint32_t limits[kClassIndex + 1] = {UINT32_MAX, frameSlots, frameSlots, tables_.strings,
                                            tables_.classRefs};
  uint32_t n = 0;
  for (uint32_t at = 0; at < size;) {
    const uint8_t op = code[at];
    const DecodeInfo info = kDecode[op];
    uint32_t length = info.length;
    if (info.cls == kTable) length = GSInstructionLength(code, size, at);
    if (length == 0 || length > size - at) {
      error =
          At(at, op >= kOpcodeCount ? "illegal opcode " + std::to_string(op)
                                    : std::string("instruction cut off by the end of the code"));
      return false;
    }
    indexAt[at] = static_cast<int32_t>(n);
    starts[n] = at;
    ops[n] = op;
    const uint8_t* p = code + at + 1;
    bool fits = true;
    if (info.cls <= kClassIndex) {
      // A frame slot, string or class index, bounded without a case each.
      if (info.cls != kPlainOperands) {
        const uint32_t operand = GSReadU16(p);
        fits = operand < limits[info.cls] && operand >= (info.cls == kStoredSlot ? 1u : 0u);
      }
    } else switch (info.cls) {
      case kPlainOperands:
      case kFrameSlot:
      case kStoredSlot:
      case kStringIndex:
      case kClassIndex:
      case kIllegal:
        break;
      case kMemberSlot:
        fits = operandFailedAt != kNoFailure || Member(op, GSReadU16(p), at, operandError);
        if (!fits) operandFailedAt = at;
        fits = true;
        break;
      case kCallSite:
        code_.calls.push_back(n);
        leaves[n] = op == START ? 0 : op == INHERITED ? inheritedLeaves : -1;
        fits = static_cast<int16_t>(GSReadU16(p)) <= 0;
        break;
      case kBranch:
      case kTable:
        branches_.push_back(at);
        break;
    }
    // The failure's text comes from the full check, off the common path.
    if (!fits && operandFailedAt == kNoFailure && !CheckOperands(fn, at, operandError))
      operandFailedAt = at;
    ++n;
    at += length;
  }
  code_.count = n;
  return true;
}

bool GSCodeVerifier::CheckOperands(const GSFunction& fn, uint32_t at, std::string& error) {
  const uint8_t op = code_.code[at];
  const uint8_t* p = code_.code + at + 1;
  switch (kGSOpcodeTable[op].operands) {
    case GSOperandKind::None:
    case GSOperandKind::Immediate:
      return true;
    case GSOperandKind::Slot:
      if (GSReadU16(p) == 0 && op >= STORE && op <= STOREREFKEEP) {
        error = At(at, "frame slot 0 holds the object and is never stored into");
        return false;
      }
      return Below(GSReadU16(p), fn.params + fn.recordOffset - 1, "frame slot", at, error);
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

bool GSCodeVerifier::Target(uint32_t target, uint32_t at, std::string& error) {
  const int32_t index = code_.IndexOf(target);
  if (index >= 0) {
    code_.joins[static_cast<uint32_t>(index)] = kGSJumpTarget;
    return true;
  }
  error = At(at, "jump target " + std::to_string(target) + " is not an instruction");
  return false;
}

bool GSCodeVerifier::Member(uint8_t op, uint32_t member, uint32_t at, std::string& error) {
  const bool ofMe = op >= GETME && op <= SETMEREFKEEP;
  // Slots 0 and 1 head every block; a class without ancestors has no other.
  const bool header = member < 2 || (ofMe && headers_.size() > 2 &&
                                     std::binary_search(headers_.begin(), headers_.end(), member));
  if (header) {
    error = At(at, "member " + std::to_string(member) + " is a block header");
    return false;
  }
  if (!ofMe) return true;
  if (!Below(member, cls_->instanceSlots, "member", at, error)) return false;
  // Held to the linked class's slots (GSClass::LinkFunctions).
  if (cls_->membersOfMe.size() != cls_->instanceSlots)
    cls_->membersOfMe.assign(cls_->instanceSlots, 0);
  const bool ref = op == GETMEREF || op == SETMEREF || op == SETMEREFKEEP;
  cls_->membersOfMe[member] |= ref ? GSClass::kUsedAsReference : GSClass::kUsedPlain;
  return true;
}

bool GSCodeVerifier::Wait(const uint8_t* p, uint32_t at, std::string& error) {
  const uint32_t n = GSReadU16(p);
  for (uint32_t i = 0; i < n; ++i) {
    if (!Below(GSReadU16(p + 2 + 4 * i), tables_.strings, "message type", at, error) ||
        !Below(GSReadU16(p + 4 + 4 * i), tables_.strings, "message type", at, error) ||
        !Target(GSReadU32(p + 2 + 4 * n + 4 * i), at, error))
      return false;
  }
  return true;
}

bool GSCodeVerifier::Verify(GSFunction& fn, std::string& error) {
  fn.calls.clear();
  if (fn.codeSize == 0) return true;
  if (fn.cls != cls_) {
    cls_ = fn.cls;
    HeaderSlots(*cls_, headers_);
  }
  // The first failing instruction is reported, a decoding failure first.
  uint32_t operandFailedAt = kNoFailure;
  std::string operandError;
  if (!Decode(fn, operandFailedAt, operandError, error)) return false;
  code_.joins.assign(code_.count, 0);
  for (uint32_t at : branches_) {
    if (at > operandFailedAt) break;
    if (!CheckOperands(fn, at, error)) return false;
  }
  if (operandFailedAt != kNoFailure) {
    error = std::move(operandError);
    return false;
  }
  const uint32_t maxDepth = fn.slotsNeeded - fn.advance;
  if (walksOnly_) {
    return GSCheckStackDepth(code_, maxDepth, error) &&
           GSCheckValueKinds(code_, fn, kinds_, fn.calls, error);
  }
  return GSCheckDepthsAndKinds(code_, fn, maxDepth, kinds_, fn.calls, error);
}

}  // namespace GSRuntime
