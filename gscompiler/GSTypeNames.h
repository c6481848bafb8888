// Text forms of GameScript types, specifiers, operators and function
// signatures, and two small parse-tree helpers, shared by the semantic
// checks, the code generator, the library writer and the dumps.
//
// Type codes are those of ParseNode::TypeCode: 0 void ... 5 object,
// 6 void[] ... 11 object[] (element type + 6), 12 no type, 13 null.
//
// - GSTypeName(code): "void", "bool", "int", "float", "string", "object",
//   "void[]", "bool[]", "int[]", "float[]", "string[]", "object[]", "" (12),
//   "null" (13); any other code gives "illegal type".
// - GSTypeNameOrIllegal(node): the type name of a typed node. The node's
//   class name is its `className`, or for a TypeSpec its child Name's text;
//   its code is `op` for a TypeSpec and `type` for any other node. Without
//   a class name the result is GSTypeName(code); with one it is the class
//   name, with "[]" appended for code 11. A null node gives "illegal type".
//   The text lives in one static buffer that the next call overwrites (the
//   compiler runs on one thread).
// - GSParseTypeName(text, className): the code whose name is `text` ("void"
//   0 ... "object[]" 11, "null" 13). Other text is a class type: 11 when it
//   contains "[]", else 5, and the class name without "[]" goes to
//   `*className`; with a null `className` other text gives 12.
// - GSSameType: codes 13 and 5 match each other either way; otherwise the
//   codes must be equal, and two objects (5) match only when both have no
//   class name or both have the same one.
// - GSSpecifierNames(bits): the names of the set specifier bits in the
//   fixed order public, native, static, final, thread, constructor, game,
//   secured, define, each followed by a blank.
// - GSOperatorName(code): the operator's text for codes 0 to 34, "" else.
// - GSFunctionSignature(decl, className, withReturnType, out): for a
//   FunctionDecl or FunctionProto, "$<return type>" (when asked for and the
//   declaration has a return type), "@<className>" (when given),
//   "::<name>(", the parameter type names joined by ",", ")"; e.g.
//   "$void@Foo::Bar(int)". Any other node: false and `out` empty.
// - GSExpressionName(expr): the variable name a plain identifier, or the
//   member name of a member access, refers to; null otherwise.
// - GSMarkValueConsumed(expr): when the node carries ValueDiscarded, sets
//   ValueConsumed and answers true (the emitter has dropped the value);
//   otherwise false.
// - GSIsReferenceType(code): true for string, object, the arrays but void[],
//   and null (4, 5, 7 to 11, 13): values the runtime reference-counts.
//
// Nothing here fails or allocates beyond the returned strings.
#pragma once

#include <cstdint>

#include "gscompiler/ParseNode.h"
#include "kiv/String.h"

namespace GSCompiler {

// Set by the code generator on an expression whose discarded value it has
// already dropped, so that no POP follows.
inline constexpr uint32_t ValueConsumed = 0x800000;

}  // namespace GSCompiler

const char* GSTypeName(uint32_t code);
const char* GSTypeNameOrIllegal(const ParseNode* node);
uint32_t GSParseTypeName(const char* text, Kiv::String* className);
bool GSSameType(uint32_t typeA, const char* classA, uint32_t typeB, const char* classB);
Kiv::String GSSpecifierNames(uint32_t bits);
const char* GSOperatorName(int32_t code);
bool GSFunctionSignature(const ParseNode* decl, const char* className, bool withReturnType,
                         Kiv::String& out);
const char* GSExpressionName(const ParseNode* expr);
bool GSMarkValueConsumed(ParseNode* expr);
bool GSIsReferenceType(uint32_t code);
