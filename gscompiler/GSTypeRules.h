// The type rules of the semantic pass: operator result types, the
// conversion and match rules, and constant folding.
//
// Result tables (type codes of ParseNode; TypeNone = not allowed):
// - unary + - ++ -- (both forms): int → int, float → float; "~": int → int;
//   "!": bool, int, float, string, object, the arrays but void[] → bool.
// - * / % and binary -: int with int → int; any other mix of int and float
//   → float. "+": the same, and string with bool, int, float or string
//   (either order) → string.
// - << >> & ^ |: int with int → int.
// - comparisons: two of bool, int, float, string; object with object; an
//   array with the same array type; null with string, object, an array but
//   void[], or null (either order) → bool.
// - and, or: two of bool, int, float, string, object, the arrays but
//   void[] → bool.
//
// CanConvert(target, source): bool/int/float ← bool/int/float; string ←
// bool/int/float/string/null; object ← object/null; an array ← the same
// array or null; nothing else (void never converts).
// TypesMatch: equal codes, or null against object either way; two objects
// only when both class names are absent or equal ("object" counts as no
// class, EffectiveClass).
//
// FoldConstant(node): for an Operator whose operands are all Constants and
// whose operator folds (unary + - ! ~ and the binary operators * to or),
// turns the node into the resulting Constant and answers true. Integers
// wrap in 32 bits; a float operand makes the operation float; comparisons
// and and/or give bools; shifts take the count modulo 32, right shifts are
// logical (as the interpreter does). Left unfolded, answering false: any
// string operand, an integer division or remainder by 0 or of -2147483648
// by -1, and a float division or remainder by zero (these keep their
// run-time behaviour instead of trapping or differing at compile time).
// Nothing here allocates or fails.
#pragma once

#include <cstdint>

#include "gscompiler/ParseNode.h"
#include "kiv/String.h"

namespace GSCompiler {

inline bool IsArrayType(uint32_t t) {
  return t >= 6 && t <= 11;
}
// string, object, any array, null: what "." accepts.
inline bool IsReferenceOrNull(uint32_t t) {
  return t == 4 || t == 5 || IsArrayType(t) || t == 13;
}

// The class name that counts: null for null, empty and "object".
const char* EffectiveClass(const char* className);
// The type's name in messages: the class name for an object, the class name
// and "[]" for an object array, else the type name.
Kiv::String TypeNameForMessage(uint32_t type, const char* className);

uint32_t UnaryResultType(int32_t op, uint32_t operand);
uint32_t BinaryResultType(int32_t op, uint32_t left, uint32_t right);
bool IsUnaryOperator(int32_t op);
bool IsBinaryOperator(int32_t op);
bool IsFoldable(int32_t op);

bool CanConvert(uint32_t target, uint32_t source);
bool TypesMatch(uint32_t typeA, const char* classA, uint32_t typeB, const char* classB);

bool FoldConstant(ParseNode* node);

// The type code of a Constant node's constant type (bool 1, int 2, float 3,
// string 4), TypeNone for anything else.
uint32_t ConstantTypeCode(int32_t constantType);

}  // namespace GSCompiler
