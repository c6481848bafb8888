#include "gscompiler/GSGenerator.h"

#include <cstring>

#include "gscompiler/GSSemanticCheck.h"
#include "gscompiler/GSTypeNames.h"
#include "gscompiler/bytecode/GSLibraryLimits.h"

namespace GSCompiler {

using namespace GSByteCode;

namespace {

constexpr uint32_t kBool = ParseNode::TypeBool;
constexpr uint32_t kInt = ParseNode::TypeInt;
constexpr uint32_t kFloat = ParseNode::TypeFloat;
constexpr uint32_t kString = ParseNode::TypeString;
constexpr uint32_t kObject = ParseNode::TypeObject;

bool IsExpr(const ParseNode* n, uint32_t kind) {
  return n != nullptr && n->Is(ParseNode::NodeExpression, kind);
}
bool IsOp(const ParseNode* n, int32_t op) {
  return IsExpr(n, ParseNode::Operator) && n->op == op;
}
bool Used(const ParseNode* n) {
  return (n->flags & ParseNode::ValueDiscarded) == 0;
}
bool Named(const char* cls) {
  return cls != nullptr && *cls != '\0' && std::strcmp(cls, "object") != 0;
}

// The last node of a chain.
ParseNode* Last(ParseNode* chain) {
  while (chain && chain->next) chain = chain->next;
  return chain;
}

// The class named by a TypeSpec.
const char* TypeSpecClass(const ParseNode* spec) {
  if (spec == nullptr) return nullptr;
  if (spec->className) return spec->className;
  return spec->child[0] ? spec->child[0]->Text() : nullptr;
}

}  // namespace

// ---- expression statements and chains ----

void GSGenerator::EmitDiscard(uint32_t type) {
  if (type == ParseNode::TypeVoid) return;
  code_->EmitOp(GSIsReferenceType(type) ? POPREF : POP);
}

bool GSGenerator::CompileExpressionStatement(ParseNode* node) {
  if (code_ == nullptr) return InternalError();
  if (!CompileExpression(node)) return false;
  if (!Used(node) && (node->flags & ValueConsumed) == 0) EmitDiscard(node->type);
  return true;
}

// Every node of the chain; the discarded ones leave nothing behind.
bool GSGenerator::CompileExpressionChain(ParseNode* chain) {
  for (ParseNode* n = chain; n != nullptr; n = n->next)
    if (!CompileExpressionStatement(n)) return false;
  return true;
}

// The chain, its last value tested as a condition.
bool GSGenerator::CompileCondition(ParseNode* chain) {
  ParseNode* last = Last(chain);
  if (last == nullptr) return InternalError();
  if (!CompileExpressionChain(chain)) return false;
  if (GSIsReferenceType(last->type)) code_->EmitOp(NOTNULL);
  return true;
}

// ---- helpers ----

bool GSGenerator::EmitClassIndex(GSOpcode op, const char* className) {
  const int32_t index = ClassIndex(className);
  if (index < 0) return InternalError();
  // Class references are numbered as the unit first names each class.
  if (static_cast<uint32_t>(index) >= GSLibraryFormat::kGslMaxCodeClasses) {
    diag_.refusedAtLimit = true;
    GSCompilerReport(&diag_, true, false, line_,
                     "too many classes referred to in one library for its code to name class "
                     "'%s' (the limit is %u)",
                     className, GSLibraryFormat::kGslMaxCodeClasses);
    return false;
  }
  code_->EmitOpU16(op, static_cast<uint16_t>(index));
  return true;
}

bool GSGenerator::Convert(uint32_t from, const char* fromClass, uint32_t to, const char* toClass) {
  if (to == kString) {
    if (from == kInt)
      code_->EmitOp(ITOS);
    else if (from == kFloat)
      code_->EmitOp(FTOS);
    else if (from == kBool)
      code_->EmitOp(BTOS);
    else if (from != kString && from != ParseNode::TypeNull)
      return Message("Compiler error GECTS");
    return true;
  }
  if (to == kFloat || to == kInt || to == kBool) {
    if (to == kFloat && (from == kInt || from == kBool))
      code_->EmitOp(ITOF);
    else if (to != kFloat && from == kFloat)
      code_->EmitOp(FTOI);
    else if (from != kInt && from != kBool && from != kFloat)
      return Message("Compiler error GECTS");
    return true;
  }
  if (to == kObject) {
    if (from == ParseNode::TypeNull) return true;
    if (from != kObject) return Message("Compiler error GECTS");
    if (!Named(toClass)) return true;
    if (Named(fromClass) && std::strcmp(fromClass, toClass) == 0) return true;
    return EmitClassIndex(CAST, toClass);
  }
  if (to >= 6 && to <= 11) return true;  // arrays: the same kind, or null
  if (to == from) return true;
  return Message("Compiler error GECTS");
}

// ---- expressions ----

bool GSGenerator::CompileExpression(ParseNode* node) {
  const LineScope at(line_, node);
  if (node == nullptr || node->nodeClass != ParseNode::NodeExpression) return InternalError();
  switch (node->kind) {
    case ParseNode::Constant:
      switch (node->op) {
        case ParseNode::ConstBool:
          code_->EmitOp(node->value != 0 ? PUSH1 : PUSH0);
          return true;
        case ParseNode::ConstInt:
        case ParseNode::ConstFloat:
          code_->EmitOpU32(PUSHI, node->value);
          return true;
        case ParseNode::ConstString: {
          uint16_t index = 0;
          if (!CodeStringIndex(node->text, index)) return false;
          code_->EmitOpU16(PUSHSTR, index);
          return true;
        }
        default:
          return Message("Compiler error GEC");
      }
    case ParseNode::Null:
      code_->EmitOp(PUSH0);
      return true;
    case ParseNode::Me:
      code_->EmitOpU16(LOADREF, 0);
      return true;
    case ParseNode::Identifier:
      return CompileIdentifier(node);
    case ParseNode::Call:
      return CompileCall(node);
    case ParseNode::Operator:
      return CompileOperator(node);
    default:
      return InternalError();
  }
}

bool GSGenerator::CompileIdentifier(ParseNode* node) {
  const uint16_t slot = static_cast<uint16_t>(node->slot & 0xFFFF);
  const bool reference = GSIsReferenceType(node->type);
  if ((node->flags & Local) != 0) {
    code_->EmitOpU16(reference ? LOADREF : LOAD, slot);
    return true;
  }
  if ((node->flags & StaticClassName) != 0) return EmitClassIndex(STATIC, node->text);
  code_->EmitOpU16(reference ? GETMEREF : GETME, slot);
  return true;
}

bool GSGenerator::CompileOperator(ParseNode* node) {
  ParseNode* a = node->child[0];
  ParseNode* b = node->child[1];
  switch (node->op) {
    case ParseNode::OpMember:
      if (!CompileExpression(a) || b == nullptr) return false;
      code_->EmitOpU16(GSIsReferenceType(node->type) ? GETMREF : GETM,
                       static_cast<uint16_t>(b->slot & 0xFFFF));
      return true;
    case ParseNode::OpIndex:
      if (!CompileExpression(a) || !CompileExpression(b)) return false;
      if (a->type == kString)
        code_->EmitOp(SLOAD);
      else
        code_->EmitOp(GSIsReferenceType(node->type) ? ALOADREF : ALOAD);
      return true;
    case ParseNode::OpRangeIndex: {
      if (!CompileExpression(a)) return false;
      ParseNode* lo = node->child[1];
      ParseNode* hi = node->child[2];
      if (!CompileIndexOrNone(hi) || !CompileIndexOrNone(lo)) return false;
      if (a->type == kString)
        code_->EmitOp(SSUB);
      else
        code_->EmitOp(GSIsReferenceType(node->type) ? ASLICEREF : ASLICE);
      return true;
    }
    case ParseNode::OpUnaryPlus:
      return CompileExpression(a);
    case ParseNode::OpNegate:
      if (!CompileExpression(a)) return false;
      if (node->type == kInt)
        code_->EmitOp(INEG);
      else if (node->type == kFloat)
        code_->EmitOp(FNEG);
      else
        return Message("Compiler error GEOUM");
      return true;
    case ParseNode::OpNot:
      if (!CompileExpression(a)) return false;
      if (a->type == kFloat)
        code_->EmitOp(FNOT);
      else if (GSIsReferenceType(a->type))
        code_->EmitOp(ISNULL);
      else
        code_->EmitOp(NOT);
      return true;
    case ParseNode::OpComplement:
      if (!CompileExpression(a)) return false;
      code_->EmitOp(BITNOT);
      return true;
    case ParseNode::OpPreInc:
    case ParseNode::OpPreDec:
      return CompileIncrement(node, true, node->op == ParseNode::OpPreInc);
    case ParseNode::OpPostInc:
    case ParseNode::OpPostDec:
      return CompileIncrement(node, false, node->op == ParseNode::OpPostInc);
    case ParseNode::OpCast:
      if (!CompileExpression(a) || b == nullptr) return false;
      return Convert(a->type, a->className, static_cast<uint32_t>(b->op), TypeSpecClass(b));
    case ParseNode::OpMul:
    case ParseNode::OpDiv:
    case ParseNode::OpMod:
    case ParseNode::OpSub:
      return CompileArithmetic(node);
    case ParseNode::OpAdd:
      return CompileAdd(node);
    case ParseNode::OpShiftLeft:
    case ParseNode::OpShiftRight:
    case ParseNode::OpBitAnd:
    case ParseNode::OpBitXor:
    case ParseNode::OpBitOr: {
      if (!CompileExpression(a) || !CompileExpression(b)) return false;
      static const GSOpcode ops[] = {SHL, SHR};
      static const GSOpcode bitOps[] = {AND, XOR, OR};
      if (node->op <= ParseNode::OpShiftRight)
        code_->EmitOp(ops[node->op - ParseNode::OpShiftLeft]);
      else
        code_->EmitOp(bitOps[node->op - ParseNode::OpBitAnd]);
      return true;
    }
    case ParseNode::OpLess:
    case ParseNode::OpGreater:
    case ParseNode::OpLessEqual:
    case ParseNode::OpGreaterEqual:
    case ParseNode::OpEqual:
    case ParseNode::OpNotEqual:
      return CompileComparison(node);
    case ParseNode::OpAnd:
    case ParseNode::OpOr:
      return CompileLogical(node);
    case ParseNode::OpAssign:
      return CompileAssign(node);
    case ParseNode::OpSize:
      if (!CompileExpression(a)) return false;
      code_->EmitOp(a->type == kString ? SSIZE : ASIZE);
      return true;
    case ParseNode::OpIsClass:
      if (!CompileExpression(a) || b == nullptr) return false;
      return EmitClassIndex(ISCLASS, b->text);
    case ParseNode::OpCopy:
      return CompileCopy(node);
    case ParseNode::OpNew:
      return CompileNew(node);
    default:
      return InternalError();
  }
}

bool GSGenerator::CompileArithmetic(ParseNode* node) {
  ParseNode* a = node->child[0];
  ParseNode* b = node->child[1];
  const bool isFloat = node->type == kFloat;
  if (!CompileExpression(a)) return false;
  if (isFloat && a->type != kFloat) code_->EmitOp(ITOF);
  if (!CompileExpression(b)) return false;
  if (isFloat && b->type != kFloat) code_->EmitOp(ITOF);
  static const GSOpcode ints[] = {IMUL, IDIV, IMOD};
  static const GSOpcode floats[] = {FMUL, FDIV, FMOD};
  if (node->op == ParseNode::OpSub)
    code_->EmitOp(isFloat ? FSUB : ISUB);
  else
    code_->EmitOp(isFloat ? floats[node->op - ParseNode::OpMul]
                          : ints[node->op - ParseNode::OpMul]);
  return true;
}

bool GSGenerator::CompileAdd(ParseNode* node) {
  ParseNode* a = node->child[0];
  ParseNode* b = node->child[1];
  if (node->type == kString) {
    if (!CompileExpression(a) || !Convert(a->type, a->className, kString, nullptr)) return false;
    if (!CompileExpression(b) || !Convert(b->type, b->className, kString, nullptr)) return false;
    code_->EmitOp(SCAT);
    return true;
  }
  const bool isFloat = node->type == kFloat;
  if (!CompileExpression(a)) return false;
  if (isFloat && a->type != kFloat) code_->EmitOp(ITOF);
  if (!CompileExpression(b)) return false;
  if (isFloat && b->type != kFloat) code_->EmitOp(ITOF);
  code_->EmitOp(isFloat ? FADD : IADD);
  return true;
}

bool GSGenerator::CompileComparison(ParseNode* node) {
  ParseNode* a = node->child[0];
  ParseNode* b = node->child[1];
  const bool strings = a->type == kString || b->type == kString;
  const bool floats = !strings && (a->type == kFloat || b->type == kFloat);
  const bool numbers = !strings && !floats && (a->type == kInt || a->type == kBool) &&
                       (b->type == kInt || b->type == kBool);
  if (!CompileExpression(a)) return false;
  if (strings && !Convert(a->type, a->className, kString, nullptr)) return false;
  if (floats && a->type != kFloat) code_->EmitOp(ITOF);
  if (!CompileExpression(b)) return false;
  if (strings && !Convert(b->type, b->className, kString, nullptr)) return false;
  if (floats && b->type != kFloat) code_->EmitOp(ITOF);
  if (strings)
    code_->EmitOp(SCMP);
  else if (floats)
    code_->EmitOp(FCMP);
  else if (numbers)
    code_->EmitOp(ICMP);
  else
    code_->EmitOp(REFNE);
  static const GSOpcode tests[] = {LT, GT, LE, GE, NOT, TOBOOL};
  code_->EmitOp(tests[node->op - ParseNode::OpLess]);
  return true;
}

bool GSGenerator::CompileLogical(ParseNode* node) {
  ParseNode* a = node->child[0];
  ParseNode* b = node->child[1];
  if (!CompileExpression(a)) return false;
  if (GSIsReferenceType(a->type)) code_->EmitOp(NOTNULL);
  const GSOpcode jump = node->op == ParseNode::OpAnd ? JZKEEP : JNZKEEP;
  const uint32_t hole = code_->ReserveJump(jump);
  code_->EmitOp(POP);
  if (!CompileExpression(b)) return false;
  if (GSIsReferenceType(b->type)) code_->EmitOp(NOTNULL);
  code_->FillJump(hole, jump, code_->Position());
  return true;
}

// A slice bound, or -1 when it is left out.
bool GSGenerator::CompileIndexOrNone(ParseNode* index) {
  if (index != nullptr) return CompileExpression(index);
  code_->EmitOpU32(PUSHI, 0xFFFFFFFF);
  return true;
}

// ---- targets and stores ----

bool GSGenerator::PushTargetParts(ParseNode* target, Target& out) {
  out.reference = GSIsReferenceType(target->type);
  out.slot = static_cast<uint16_t>(target->slot & 0xFFFF);
  out.stringReceiver = false;
  if (IsExpr(target, ParseNode::Identifier)) {
    out.kind = (target->flags & Local) != 0 ? TargetKind::Frame : TargetKind::Me;
    return true;
  }
  if (IsOp(target, ParseNode::OpMember) && target->child[1]) {
    out.kind = TargetKind::Member;
    out.slot = static_cast<uint16_t>(target->child[1]->slot & 0xFFFF);
    return CompileExpression(target->child[0]);
  }
  if (IsOp(target, ParseNode::OpIndex)) {
    out.kind = TargetKind::Element;
    out.stringReceiver = target->child[0] && target->child[0]->type == kString;
    return CompileExpression(target->child[0]) && CompileExpression(target->child[1]);
  }
  if (IsOp(target, ParseNode::OpRangeIndex)) {
    out.kind = TargetKind::Slice;
    ParseNode* receiver = target->child[0];
    out.stringReceiver = receiver && receiver->type == kString;
    // A slice stores an array: reference elements decide the variant.
    out.reference = receiver && (receiver->type == 10 || receiver->type == 11);
    if (!CompileExpression(receiver)) return false;
    return CompileIndexOrNone(target->child[2]) && CompileIndexOrNone(target->child[1]);
  }
  return InternalError();
}

void GSGenerator::EmitStore(const Target& t, bool keep) {
  switch (t.kind) {
    case TargetKind::Frame:
      code_->EmitOpU16(t.reference ? (keep ? STOREREFKEEP : STOREREF) : (keep ? STOREKEEP : STORE),
                       t.slot);
      return;
    case TargetKind::Me:
      code_->EmitOpU16(t.reference ? (keep ? SETMEREFKEEP : SETMEREF) : (keep ? SETMEKEEP : SETME),
                       t.slot);
      return;
    case TargetKind::Member:
      code_->EmitOpU16(t.reference ? (keep ? SETMREFKEEP : SETMREF) : (keep ? SETMKEEP : SETM),
                       t.slot);
      return;
    case TargetKind::Element:
      if (t.stringReceiver)
        code_->EmitOp(keep ? SSTOREKEEP : SSTORE);
      else if (t.reference)
        code_->EmitOp(keep ? ASTOREREFKEEP : ASTOREREF);
      else
        code_->EmitOp(keep ? ASTOREKEEP : ASTORE);
      return;
    case TargetKind::Slice:
      if (t.stringReceiver)
        code_->EmitOp(keep ? SSPLICEKEEP : SSPLICE);
      else if (t.reference)
        code_->EmitOp(keep ? ASPLICEREFKEEP : ASPLICEREF);
      else
        code_->EmitOp(keep ? ASPLICEKEEP : ASPLICE);
      return;
  }
}

// The current value of a target whose parts are on the stack (they stay).
bool GSGenerator::EmitLoadOfTarget(ParseNode* target, const Target& parts) {
  switch (parts.kind) {
    case TargetKind::Frame:
      code_->EmitOpU16(LOAD, parts.slot);
      return true;
    case TargetKind::Me:
      code_->EmitOpU16(GETME, parts.slot);
      return true;
    case TargetKind::Member:
      code_->EmitOp(DUPREF);
      code_->EmitOpU16(GETM, parts.slot);
      return true;
    case TargetKind::Element:
      code_->EmitOp(DUP2REF);
      code_->EmitOp(parts.stringReceiver ? SLOAD : ALOAD);
      return true;
    case TargetKind::Slice:
      break;
  }
  (void)target;
  return InternalError();
}

bool GSGenerator::CompileAssign(ParseNode* node) {
  ParseNode* target = node->child[0];
  ParseNode* value = node->child[1];
  Target t{};
  if (target == nullptr || value == nullptr || !PushTargetParts(target, t)) return false;
  if (!CompileExpression(value)) return false;
  if (!Convert(value->type, value->className, target->type, target->className)) return false;
  if (value->type == kString && ((value->flags & ParseNode::LValue) != 0 ||
                                 IsExpr(value, ParseNode::Call) || IsOp(value, ParseNode::OpCast)))
    code_->EmitOp(SCOPY);
  const bool keep = !GSMarkValueConsumed(node);
  EmitStore(t, keep);
  return true;
}

bool GSGenerator::CompileCopy(ParseNode* node) {
  Target t{};
  if (!PushTargetParts(node->child[0], t) || !CompileExpression(node->child[1])) return false;
  // The check lets strings through as well as arrays: a string takes its
  // own copy of the text, as an assignment from an l-value does.
  code_->EmitOp(node->child[1]->type == kString ? SCOPY : ACOPY);
  GSMarkValueConsumed(node);
  EmitStore(t, false);
  return true;
}

bool GSGenerator::CompileIncrement(ParseNode* node, bool prefix, bool increment) {
  ParseNode* target = node->child[0];
  Target t{};
  if (target == nullptr || !PushTargetParts(target, t) || !EmitLoadOfTarget(target, t))
    return false;
  const bool isFloat = target->type == kFloat;
  const GSOpcode step = isFloat ? (increment ? FINC : FDEC) : (increment ? IINC : IDEC);
  const bool used = Used(node);
  const bool plainName = t.kind == TargetKind::Frame || t.kind == TargetKind::Me;
  if (prefix) {
    code_->EmitOp(step);
    if (!used) GSMarkValueConsumed(node);
    EmitStore(t, used);
    return true;
  }
  if (plainName) {
    code_->EmitOp(DUP);
    code_->EmitOp(step);
    EmitStore(t, false);
    return true;
  }
  if (!used) {
    code_->EmitOp(step);
    GSMarkValueConsumed(node);
    EmitStore(t, false);
    return true;
  }
  const int temp = AllocTemp();
  if (temp < 0) return false;
  code_->EmitOpU16(STOREKEEP, static_cast<uint16_t>(temp));
  code_->EmitOp(step);
  EmitStore(t, false);
  code_->EmitOpU16(LOAD, static_cast<uint16_t>(temp));
  FreeTemp(temp);
  return true;
}

bool GSGenerator::CompileNew(ParseNode* node) {
  const ParseNode* spec = node->child[0];
  if (spec == nullptr) return InternalError();
  const uint32_t type = static_cast<uint32_t>(spec->op);
  if (node->child[1] != nullptr) {
    if (!CompileExpression(node->child[1])) return false;
    code_->EmitOp(type == 10 || type == 11 ? NEWREFARRAY : NEWARRAY);
    return true;
  }
  if (type == kString) {
    code_->EmitOp(NEWSTR);
    return true;
  }
  if (type == kObject) return EmitClassIndex(NEW, TypeSpecClass(spec));
  return InternalError();
}

bool GSGenerator::CompileCall(ParseNode* node) {
  ParseNode* callee = node->child[0];
  if (callee == nullptr) return InternalError();
  const bool method = IsOp(callee, ParseNode::OpMember);
  if (method) {
    if (!CompileExpression(callee->child[0])) return false;
  } else {
    code_->EmitOpU16(LOADREF, 0);
  }
  for (ParseNode* arg = node->child[1]; arg != nullptr; arg = arg->next)
    if (!CompileExpression(arg)) return false;
  const int32_t value = static_cast<int32_t>(node->value);
  const uint16_t k = static_cast<uint16_t>(static_cast<int16_t>(1 - value));
  const char* name =
      method ? (callee->child[1] ? callee->child[1]->Text() : nullptr) : callee->text;
  if (!method && name != nullptr && std::strcmp(name, "inherited") == 0) {
    code_->EmitOpU16(INHERITED, k);
  } else {
    GSOpcode op = CALL;
    if ((node->flags & ParseNode::SpecNative) != 0)
      op = CALLNATIVE;
    else if ((node->flags & ParseNode::SpecThread) != 0)
      op = START;
    code_->EmitOpU16U16(op, k, static_cast<uint16_t>(node->slot & 0xFFFF));
  }
  code_->TrackStackDepth((node->type != ParseNode::TypeVoid ? 1 : 0) - value);
  return true;
}

}  // namespace GSCompiler
