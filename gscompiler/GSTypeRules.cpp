#include "gscompiler/GSTypeRules.h"

#include <cmath>
#include <cstring>

#include "gscompiler/GSTypeNames.h"

namespace GSCompiler {

namespace {

using N = ParseNode;

constexpr uint32_t kBool = N::TypeBool;
constexpr uint32_t kInt = N::TypeInt;
constexpr uint32_t kFloat = N::TypeFloat;
constexpr uint32_t kString = N::TypeString;
constexpr uint32_t kObject = N::TypeObject;
constexpr uint32_t kNone = N::TypeNone;
constexpr uint32_t kNull = N::TypeNull;

bool IsNumber(uint32_t t) {
  return t == kInt || t == kFloat;
}
bool IsPrimitive(uint32_t t) {
  return t == kBool || t == kInt || t == kFloat || t == kString;
}
bool IsValueArray(uint32_t t) {
  return t >= 7 && t <= 11;
}  // arrays but void[]
bool IsTestable(uint32_t t) {
  return IsPrimitive(t) || t == kObject || IsValueArray(t);
}
bool AcceptsNull(uint32_t t) {
  return t == kString || t == kObject || IsValueArray(t) || t == kNull;
}

uint32_t ArithmeticType(uint32_t a, uint32_t b) {
  if (!IsNumber(a) || !IsNumber(b)) return kNone;
  return a == kInt && b == kInt ? kInt : kFloat;
}

uint32_t ComparisonType(uint32_t a, uint32_t b) {
  if (IsPrimitive(a) && IsPrimitive(b)) return kBool;
  if (a == kObject && b == kObject) return kBool;
  if (IsArrayType(a) && a == b) return kBool;
  if ((a == kNull && AcceptsNull(b)) || (b == kNull && AcceptsNull(a))) return kBool;
  return kNone;
}

// A numeric view of a bool, int or float constant.
struct Number {
  bool isFloat;
  int32_t i;
  float f;
  float AsFloat() const { return isFloat ? f : float(i); }
};

Number ValueOf(const ParseNode* c) {
  if (c->op == N::ConstFloat) return {true, 0, c->FloatValue()};
  return {false, c->IntValue(), 0.0f};
}

void SetConstant(ParseNode* node, int32_t constantType, uint32_t bits) {
  node->kind = N::Constant;
  node->op = constantType;
  node->value = bits;
  node->text = nullptr;
  for (ParseNodeRef& child : node->child) child = nullptr;
  node->type = ConstantTypeCode(constantType);
  node->className = nullptr;
  node->flags &= ~N::LValue;
}

void SetInt(ParseNode* node, uint32_t bits) {
  SetConstant(node, N::ConstInt, bits);
}
void SetBool(ParseNode* node, bool value) {
  SetConstant(node, N::ConstBool, value ? 1u : 0u);
}
void SetFloat(ParseNode* node, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  SetConstant(node, N::ConstFloat, bits);
}

bool FoldUnary(ParseNode* node, const ParseNode* c) {
  const Number v = ValueOf(c);
  switch (node->op) {
    case N::OpUnaryPlus:
      if (v.isFloat)
        SetFloat(node, v.f);
      else
        SetInt(node, uint32_t(v.i));
      return true;
    case N::OpNegate:
      if (v.isFloat)
        SetFloat(node, -v.f);
      else
        SetInt(node, 0u - uint32_t(v.i));
      return true;
    case N::OpNot:
      SetBool(node, v.isFloat ? v.f == 0.0f : v.i == 0);
      return true;
    case N::OpComplement:
      if (v.isFloat) return false;
      SetInt(node, ~uint32_t(v.i));
      return true;
    default:
      return false;
  }
}

bool FoldFloatArithmetic(ParseNode* node, float a, float b) {
  switch (node->op) {
    case N::OpMul:
      SetFloat(node, a * b);
      return true;
    case N::OpAdd:
      SetFloat(node, a + b);
      return true;
    case N::OpSub:
      SetFloat(node, a - b);
      return true;
    case N::OpDiv:
      if (b == 0.0f) return false;
      SetFloat(node, a / b);
      return true;
    case N::OpMod:
      if (b == 0.0f) return false;
      SetFloat(node, std::fmod(a, b));
      return true;
    default:
      return false;
  }
}

bool FoldIntArithmetic(ParseNode* node, int32_t a, int32_t b) {
  const uint32_t ua = uint32_t(a);
  const uint32_t ub = uint32_t(b);
  switch (node->op) {
    case N::OpMul:
      SetInt(node, ua * ub);
      return true;
    case N::OpAdd:
      SetInt(node, ua + ub);
      return true;
    case N::OpSub:
      SetInt(node, ua - ub);
      return true;
    case N::OpDiv:
    case N::OpMod:
      if (b == 0 || (a == INT32_MIN && b == -1)) return false;
      SetInt(node, uint32_t(node->op == N::OpDiv ? a / b : a % b));
      return true;
    case N::OpShiftLeft:
      SetInt(node, ua << (ub & 31));
      return true;
    case N::OpShiftRight:
      SetInt(node, ua >> (ub & 31));
      return true;
    case N::OpBitAnd:
      SetInt(node, ua & ub);
      return true;
    case N::OpBitXor:
      SetInt(node, ua ^ ub);
      return true;
    case N::OpBitOr:
      SetInt(node, ua | ub);
      return true;
    default:
      return false;
  }
}

template <typename T>
bool Compare(int32_t op, T a, T b, bool& out) {
  switch (op) {
    case N::OpLess:
      out = a < b;
      return true;
    case N::OpGreater:
      out = a > b;
      return true;
    case N::OpLessEqual:
      out = a <= b;
      return true;
    case N::OpGreaterEqual:
      out = a >= b;
      return true;
    case N::OpEqual:
      out = a == b;
      return true;
    case N::OpNotEqual:
      out = a != b;
      return true;
    default:
      return false;
  }
}

bool FoldBinary(ParseNode* node, const ParseNode* l, const ParseNode* r) {
  const int32_t op = node->op;
  if (op == N::OpAnd || op == N::OpOr) {
    const bool a = l->value != 0;
    const bool b = r->value != 0;
    SetBool(node, op == N::OpAnd ? a && b : a || b);
    return true;
  }
  const Number a = ValueOf(l);
  const Number b = ValueOf(r);
  if (op >= N::OpLess && op <= N::OpNotEqual) {
    bool result = false;
    const bool ok = a.isFloat || b.isFloat ? Compare(op, a.AsFloat(), b.AsFloat(), result)
                                           : Compare(op, a.i, b.i, result);
    if (ok) SetBool(node, result);
    return ok;
  }
  if (op >= N::OpShiftLeft || op == N::OpBitAnd) {
    if (a.isFloat || b.isFloat) return false;  // bitwise and shifts fold two ints only
    return FoldIntArithmetic(node, a.i, b.i);
  }
  if (a.isFloat || b.isFloat) return FoldFloatArithmetic(node, a.AsFloat(), b.AsFloat());
  return FoldIntArithmetic(node, a.i, b.i);
}

bool IsConstant(const ParseNode* n) {
  return n != nullptr && n->Is(N::NodeExpression, N::Constant);
}

}  // namespace

const char* EffectiveClass(const char* className) {
  if (className == nullptr || className[0] == '\0' || std::strcmp(className, "object") == 0)
    return nullptr;
  return className;
}

Kiv::String TypeNameForMessage(uint32_t type, const char* className) {
  const char* cls = EffectiveClass(className);
  if (cls != nullptr && type == kObject) return cls;
  if (cls != nullptr && type == kObject + N::TypeArray) return Kiv::String(cls) + "[]";
  return GSTypeName(type);
}

uint32_t ConstantTypeCode(int32_t constantType) {
  switch (constantType) {
    case N::ConstBool:
      return kBool;
    case N::ConstInt:
      return kInt;
    case N::ConstFloat:
      return kFloat;
    case N::ConstString:
      return kString;
    default:
      return kNone;
  }
}

bool IsUnaryOperator(int32_t op) {
  return (op >= N::OpPostDec && op <= N::OpPreInc && op != N::OpMember);
}

bool IsBinaryOperator(int32_t op) {
  return op >= N::OpMul && op <= N::OpOr;
}

bool IsFoldable(int32_t op) {
  return (op >= N::OpUnaryPlus && op <= N::OpComplement) || IsBinaryOperator(op);
}

uint32_t UnaryResultType(int32_t op, uint32_t t) {
  switch (op) {
    case N::OpPostDec:
    case N::OpPostInc:
    case N::OpUnaryPlus:
    case N::OpNegate:
    case N::OpPreDec:
    case N::OpPreInc:
      return IsNumber(t) ? t : kNone;
    case N::OpComplement:
      return t == kInt ? kInt : kNone;
    case N::OpNot:
      return IsTestable(t) ? kBool : kNone;
    default:
      return kNone;
  }
}

uint32_t BinaryResultType(int32_t op, uint32_t a, uint32_t b) {
  switch (op) {
    case N::OpMul:
    case N::OpDiv:
    case N::OpMod:
    case N::OpSub:
      return ArithmeticType(a, b);
    case N::OpAdd:
      if (ArithmeticType(a, b) != kNone) return ArithmeticType(a, b);
      if ((a == kString && IsPrimitive(b)) || (b == kString && IsPrimitive(a))) return kString;
      return kNone;
    case N::OpShiftLeft:
    case N::OpShiftRight:
    case N::OpBitAnd:
    case N::OpBitXor:
    case N::OpBitOr:
      return a == kInt && b == kInt ? kInt : kNone;
    case N::OpAnd:
    case N::OpOr:
      return IsTestable(a) && IsTestable(b) ? kBool : kNone;
    default:
      if (op >= N::OpLess && op <= N::OpNotEqual) return ComparisonType(a, b);
      return kNone;
  }
}

bool CanConvert(uint32_t target, uint32_t source) {
  if (target == kBool || target == kInt || target == kFloat)
    return source == kBool || source == kInt || source == kFloat;
  if (target == kString) return IsPrimitive(source) || source == kNull;
  if (target == kObject) return source == kObject || source == kNull;
  if (IsArrayType(target)) return source == target || source == kNull;
  return false;
}

bool TypesMatch(uint32_t typeA, const char* classA, uint32_t typeB, const char* classB) {
  if ((typeA == kNull && typeB == kObject) || (typeA == kObject && typeB == kNull)) return true;
  if (typeA != typeB) return false;
  if (typeA != kObject) return true;
  const char* a = EffectiveClass(classA);
  const char* b = EffectiveClass(classB);
  if (a == nullptr || b == nullptr) return a == b;
  return std::strcmp(a, b) == 0;
}

bool FoldConstant(ParseNode* node) {
  if (node == nullptr || !node->Is(N::NodeExpression, N::Operator) || !IsFoldable(node->op))
    return false;
  const ParseNode* l = node->child[0];
  if (!IsConstant(l) || l->op == N::ConstString) return false;
  if (!IsBinaryOperator(node->op)) return FoldUnary(node, l);
  const ParseNode* r = node->child[1];
  if (!IsConstant(r) || r->op == N::ConstString) return false;
  return FoldBinary(node, l, r);
}

}  // namespace GSCompiler
