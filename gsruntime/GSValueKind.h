// The kinds of value a frame slot, an operand or a function's result holds,
// as the loader proves them and the interpreter relies on them.
//
// A slot holds either a plain 32-bit value (int, float or bool: every
// instruction reads those bits as they are, so confusing them can give a
// wrong number but never touches memory) or a counted reference (null, a
// string, an array or an object). Mixing the two is what must never
// happen: a number read as a reference is an address the interpreter would
// follow. So the declared kinds that cross function boundaries are three:
// nothing (void), a plain value and a reference.
//
// GSSignatureKinds(signature, returnKind, params): the kinds of a function
// signature "$<type>@<class>::<name>(<type>,...)" ("$" part optional,
// meaning void): "void" is nothing, "bool", "int" and "float" plain, every
// other type name (string, object, a class, an array) a reference. The
// object slot comes first in `params` (a reference), then one entry per
// parameter. False when the text has no parameter list or a parameter type
// is empty or "void". `params` is a std::vector<uint8_t> or a
// std::pmr::vector<uint8_t> (a function record's, in its library's store).
//
// GSTypeCodeKind(code): the kind of a compiled type code (0 void, 1 bool,
// 2 int, 3 float, 4 string, 5 object, 7..11 the arrays, 13 null); codes the
// compiler never writes for a value (6 void[], 12 no type) give kInvalid.
// The references are those of GSIsReferenceType (GSValue.h).
#pragma once

#include <cstdint>
#include <memory_resource>
#include <string_view>
#include <vector>

namespace GSRuntime {

enum GSValueKind : uint8_t {
  kKindNone = 0,
  kKindPlain = 1,
  kKindReference = 2,
  kKindInvalid = 3,
};

template <typename KindList>
bool GSSignatureKinds(std::string_view signature, uint8_t& returnKind, KindList& params);
extern template bool GSSignatureKinds(std::string_view, uint8_t&, std::vector<uint8_t>&);
extern template bool GSSignatureKinds(std::string_view, uint8_t&, std::pmr::vector<uint8_t>&);
uint8_t GSTypeCodeKind(uint32_t code);

}  // namespace GSRuntime
