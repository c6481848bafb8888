// The expression checks of the semantic pass (calls: GSCheckCall.cpp).
//
// Each check runs after the node's operands were checked; a failed node
// keeps type none (12). An operand whose own check failed is not exempt:
// the operator above it reports its illegal types too.
#include <cstring>

#include "gscompiler/GSCheckInternal.h"
#include "gscompiler/GSTypeNames.h"
#include "gscompiler/GSTypeRules.h"

namespace GSCompiler {

namespace {

using N = ParseNode;

bool Fail(SemanticContext& context, int line, const char* format) {
  GSCompilerReport(context.diagnostics, true, false, line, format, line);
  return false;
}

bool Fail(SemanticContext& context, int line, const char* format, const char* a) {
  GSCompilerReport(context.diagnostics, true, false, line, format, a != nullptr ? a : "(null)",
                   line);
  return false;
}

bool Fail(SemanticContext& context, int line, const char* format, const char* a, const char* b) {
  GSCompilerReport(context.diagnostics, true, false, line, format, a != nullptr ? a : "(null)",
                   b != nullptr ? b : "(null)", line);
  return false;
}

void SetType(ParseNode* node, uint32_t type, const char* className) {
  node->type = type;
  node->className = className;
}

uint32_t TypeOf(const ParseNode* node) {
  return node != nullptr ? node->type : uint32_t(N::TypeNone);
}

bool IsIndexable(uint32_t t) {
  return t == N::TypeString || (t >= 7 && t <= 11) || t == N::TypeNull;
}
bool IsStringOrArray(uint32_t t) {
  return t == N::TypeString || IsArrayType(t);
}

// Turns `node` into the Constant of define variable `variable`.
void BecomeDefine(ParseNode* node, const GSSymbol& variable) {
  node->nodeClass = N::NodeExpression;
  node->kind = N::Constant;
  for (ParseNodeRef& child : node->child) child = nullptr;
  node->value = variable.constant;
  node->text = nullptr;
  switch (variable.type) {
    case N::TypeBool:
      node->op = N::ConstBool;
      break;
    case N::TypeFloat:
      node->op = N::ConstFloat;
      break;
    case N::TypeString:
      node->op = N::ConstString;
      node->text = variable.constantText != nullptr ? variable.constantText : "";
      node->value = 0;
      break;
    default:
      node->op = N::ConstInt;
  }
  node->flags &= ~N::LValue;
  SetType(node, variable.type, nullptr);
}

bool CheckIdentifier(SemanticContext& context, CheckState& state, ParseNode* node) {
  GSSymbol* symbol = context.symbols->Lookup(node->text, state.currentClass, true, false);
  if (symbol != nullptr && symbol->IsVariable()) {
    if (symbol->IsDefine()) {
      BecomeDefine(node, *symbol);
      return true;
    }
    SetType(node, symbol->type, static_cast<GSVariableSymbol*>(symbol)->className);
    node->flags |= symbol->flags | N::LValue;
    node->slot = state.currentClass != nullptr ? state.currentClass->VariableSlot(symbol)
                                               : uint32_t(symbol->index) & 0xFFFF;
    return true;
  }
  if (symbol != nullptr && symbol->IsClass()) {
    SetType(node, N::TypeObject, symbol->name);
    node->flags |= StaticClassName;
    if ((symbol->flags & N::SpecStatic) != 0 || IsMemberObject(node)) return true;
    return Fail(context, node->line, "class %s is not static, line %d.", symbol->name);
  }
  if (IsCallee(node)) return true;
  return Fail(context, node->line, "variable %s not declared, line %d.", node->text);
}

bool CheckMember(SemanticContext& context, CheckState& state, ParseNode* node) {
  ParseNode* object = node->child[0];
  ParseNode* member = node->child[1];
  if (!IsReferenceOrNull(TypeOf(object)))
    return Fail(context, node->line, ". operator cannot be used on a non-reference type, line %d.");
  const char* className = EffectiveClass(object->className);
  if (className == nullptr)
    return Fail(context, node->line, "unknown object class for '.' operator, line %d.");
  GSClassSymbol* cls = FindClass(context, className);
  if (cls == nullptr) {
    ReportInternalError(context, "Internal compiler error");
    return false;
  }
  cls->ResolveBase(*context.symbols, context.diagnostics);
  const char* memberName = member != nullptr ? member->Text() : nullptr;
  const bool classNameObject = object->Is(N::NodeExpression, N::Identifier) &&
                               (object->flags & StaticClassName) != 0 &&
                               (cls->flags & N::SpecStatic) == 0;
  GSSymbol* symbol = context.symbols->Lookup(memberName, cls, false, true);
  if (symbol == nullptr || !symbol->IsVariable()) {
    if (classNameObject)
      return Fail(context, node->line,
                  "%s is not a static class or variable within this class, line %d.", cls->name);
    if (IsCallee(node)) {
      node->parent->flags |= MethodCall;
      return true;
    }
    return Fail(context, node->line, "member %s does not exist in object %s, line %d.", memberName,
                cls->name);
  }
  bool ok = true;
  if ((symbol->flags & N::SpecPublic) == 0 && state.currentClass != cls)
    ok = Fail(context, node->line, "member %s not public in object %s, line %d.", memberName,
              cls->name);
  if (symbol->IsDefine()) {
    BecomeDefine(node, *symbol);
    return ok;
  }
  if (classNameObject)
    return Fail(context, node->line,
                "%s is not a static class or variable within this class, line %d.", memberName);
  const char* memberClass = static_cast<GSVariableSymbol*>(symbol)->className;
  SetType(node, symbol->type, memberClass);
  node->slot = cls->VariableSlot(symbol);
  node->flags |= N::LValue;
  SetType(member, symbol->type, memberClass);
  member->slot = node->slot;
  return ok;
}

bool CheckIndex(SemanticContext& context, ParseNode* node) {
  const ParseNode* array = node->child[0];
  if (!IsIndexable(TypeOf(array)))
    return Fail(context, node->line, "%s not an array type for [] operator, line %d",
                GSExpressionName(array));
  if (TypeOf(node->child[1]) != N::TypeInt)
    return Fail(context, node->line, "index not integral for [] operator, line %d");
  const uint32_t t = array->type;
  const uint32_t element = t == N::TypeString ? uint32_t(N::TypeInt)
                           : t == N::TypeNull ? t
                                              : t - N::TypeArray;
  SetType(node, element, array->className);
  node->flags |= N::LValue;
  return true;
}

bool CheckRange(SemanticContext& context, ParseNode* node) {
  const ParseNode* array = node->child[0];
  if (!IsIndexable(TypeOf(array)))
    return Fail(context, node->line, "%s not an array type for [,] operator, line %d",
                GSExpressionName(array));
  if (node->child[1] != nullptr && node->child[1]->type != N::TypeInt)
    return Fail(context, node->line, "left index not integral for [,] operator, line %d");
  if (node->child[2] != nullptr && node->child[2]->type != N::TypeInt)
    return Fail(context, node->line, "right index not integral for [,] operator, line %d");
  SetType(node, array->type, array->className);
  node->flags |= N::LValue;
  return true;
}

bool CheckCast(SemanticContext& context, ParseNode* node) {
  const ParseNode* operand = node->child[0];
  const ParseNode* target = node->child[1];
  if (operand == nullptr || target == nullptr) {
    ReportInternalError(context);
    return false;
  }
  if (CanCast(context, target->type, target->className, operand->type, operand->className)) {
    SetType(node, target->type, target->className);
    return true;
  }
  const char* from = EffectiveClass(operand->className);
  const char* to = EffectiveClass(target->className);
  if (from != nullptr && to != nullptr)
    return Fail(context, node->line, "cannot cast from %s to %s, line %d.", from, to);
  const Kiv::String a = TypeNameForMessage(operand->type, operand->className);
  const Kiv::String b = TypeNameForMessage(target->type, target->className);
  return Fail(context, node->line, "cannot cast from %s to %s, line %d.", a.c_str(), b.c_str());
}

bool CheckAssign(SemanticContext& context, ParseNode* node) {
  const ParseNode* target = node->child[0];
  const ParseNode* value = node->child[1];
  if (!CheckAssignable(context, node->line, TypeOf(target), target->className, TypeOf(value),
                       value->className))
    return false;
  if ((target->flags & N::LValue) == 0)
    return Fail(context, node->line, "illegal l-value for assignment, line %d.");
  SetType(node, target->type, target->className);
  return true;
}

bool CheckNew(SemanticContext& context, ParseNode* node) {
  const ParseNode* spec = node->child[0];
  if (spec == nullptr) {
    ReportInternalError(context);
    return false;
  }
  const uint32_t t = uint32_t(spec->op);
  const char* className = EffectiveClass(spec->className);
  if (!(t == N::TypeString || t == N::TypeObject || (t >= 7 && t <= 11))) {
    const Kiv::String name = TypeNameForMessage(t, spec->className);
    return Fail(context, node->line, "cannot new type %s, line %d.", name.c_str());
  }
  if ((t == N::TypeObject || t == N::TypeObject + N::TypeArray) && className == nullptr)
    return Fail(context, node->line, "cannot new unnamed object, line %d.");
  if (IsArrayType(t) && TypeOf(node->child[1]) != N::TypeInt)
    return Fail(context, node->line, "non-integral expression for new[], line %d.");
  if (node->child[2] != nullptr)
    return Fail(context, node->line, "constructors not yet supported, line %d.");
  if (t == N::TypeObject) {
    const GSClassSymbol* cls = FindClass(context, className);
    if (cls == nullptr)
      return Fail(context, node->line, "cannot find class %s in this translation unit, line %d.",
                  className);
    if ((cls->flags & (N::SpecStatic | N::SpecGame)) != 0)
      return Fail(context, node->line, "cannot new static or game class, line %d.");
  }
  SetType(node, t, spec->className);
  return true;
}

bool CheckSpecialOperator(SemanticContext& context, ParseNode* node) {
  const ParseNode* a = node->child[0];
  const ParseNode* b = node->child[1];
  switch (node->op) {
    case N::OpSize:
      if (!IsStringOrArray(TypeOf(a)) && TypeOf(a) != N::TypeNull)
        return Fail(context, node->line, ".size operator requires an array type, line %d.");
      SetType(node, N::TypeInt, nullptr);
      return true;
    case N::OpIsClass:
      if (TypeOf(a) != N::TypeObject)
        return Fail(context, node->line, ".isclass operator requires an object type, line %d.");
      if (FindClass(context, b != nullptr ? b->Text() : nullptr) == nullptr)
        return Fail(context, node->line, "class %s not declared for .isclass operator, line %d.",
                    b != nullptr ? b->Text() : nullptr);
      SetType(node, N::TypeBool, nullptr);
      return true;
    case N::OpCopy:
      if (!IsStringOrArray(TypeOf(a)))
        return Fail(context, node->line, ".copy operator requires an array type, line %d.");
      if (!IsStringOrArray(TypeOf(b)))
        return Fail(context, node->line, ".copy expression must be an array type, line %d.");
      if (!TypesMatch(a->type, a->className, b->type, b->className))
        return Fail(context, node->line,
                    "left and right types incompatible for .copy operator, line %d.");
      SetType(node, N::TypeVoid, nullptr);
      return true;
    default:
      ReportInternalError(context);
      return false;
  }
}

bool CheckArithmetic(SemanticContext& context, ParseNode* node) {
  const int32_t op = node->op;
  const char* name = GSOperatorName(op);
  if (IsBinaryOperator(op)) {
    const uint32_t t = BinaryResultType(op, TypeOf(node->child[0]), TypeOf(node->child[1]));
    if (t == N::TypeNone)
      return Fail(context, node->line, "illegal types for operand %s, line %d", name);
    SetType(node, t, nullptr);
    FoldConstant(node);
    return true;
  }
  const uint32_t t = UnaryResultType(op, TypeOf(node->child[0]));
  if (t == N::TypeNone)
    return Fail(context, node->line, "illegal types for unary operand %s, line %d", name);
  const bool step =
      op == N::OpPostDec || op == N::OpPostInc || op == N::OpPreDec || op == N::OpPreInc;
  if (step && (node->child[0]->flags & N::LValue) == 0)
    return Fail(context, node->line, "expression not an l-value for %s operator, line %d", name);
  SetType(node, t, nullptr);
  FoldConstant(node);
  return true;
}

}  // namespace

bool CheckAssignable(SemanticContext& context, int line, uint32_t targetType,
                     const char* targetClass, uint32_t sourceType, const char* sourceClass) {
  if (!CanConvert(targetType, sourceType)) {
    const Kiv::String from = TypeNameForMessage(sourceType, sourceClass);
    const Kiv::String to = TypeNameForMessage(targetType, targetClass);
    return Fail(context, line, "cannot cast from %s to %s, line %d.", from.c_str(), to.c_str());
  }
  const char* to = EffectiveClass(targetClass);
  const char* from = EffectiveClass(sourceClass);
  if (to == nullptr || from == nullptr) return true;
  GSClassSymbol* source = FindClass(context, from);
  if (source == nullptr) return Fail(context, line, "class %s not defined, line %d.", from);
  if (context.symbols->IsOrDerivesFrom(source, to, context.diagnostics)) return true;
  return Fail(context, line, "cannot cast from object<%s> to object<%s>, line %d.", from, to);
}

bool CanCast(SemanticContext& context, uint32_t targetType, const char* targetClass,
             uint32_t sourceType, const char* sourceClass) {
  if (!CanConvert(targetType, sourceType)) return false;
  const char* to = EffectiveClass(targetClass);
  const char* from = EffectiveClass(sourceClass);
  if (to == nullptr || from == nullptr) return true;
  GSSymbolTable& table = *context.symbols;
  return table.IsOrDerivesFrom(FindClass(context, from), to, context.diagnostics) ||
         table.IsOrDerivesFrom(FindClass(context, to), from, context.diagnostics);
}

bool CheckExpression(SemanticContext& context, CheckState& state, ParseNode* node) {
  switch (node->kind) {
    case N::Constant:
      SetType(node, ConstantTypeCode(node->op), nullptr);
      return true;
    case N::Null:
      SetType(node, N::TypeNull, nullptr);
      return true;
    case N::Me:
      if (state.currentClass == nullptr)
        return Fail(context, node->line, "me keyword invalid in static, line %d.");
      SetType(node, N::TypeObject, state.currentClass->name);
      return true;
    case N::Identifier:
      return CheckIdentifier(context, state, node);
    case N::MemberName:
      return true;
    case N::Call:
      return CheckCall(context, state, node);
    case N::Operator:
      break;
    default:
      ReportInternalError(context);
      return false;
  }
  switch (node->op) {
    case N::OpMember:
      return CheckMember(context, state, node);
    case N::OpIndex:
      return CheckIndex(context, node);
    case N::OpRangeIndex:
      return CheckRange(context, node);
    case N::OpCast:
      return CheckCast(context, node);
    case N::OpAssign:
      return CheckAssign(context, node);
    case N::OpNew:
      return CheckNew(context, node);
    case N::OpSize:
    case N::OpIsClass:
    case N::OpCopy:
      return CheckSpecialOperator(context, node);
    default:
      return CheckArithmetic(context, node);
  }
}

}  // namespace GSCompiler
