// Values of the GameScript constant tokens, computed the same way on every
// platform (no dependence on the size of `long`, on the C locale or on the
// signedness of `char`).
//
// - HexLiteralValue("0x1F"): the digits after the "0x"/"0X" read base 16;
//   any value above 2147483647 gives 2147483647 (so 0xFFFFFFFF is
//   2147483647, never -1).
// - DecimalLiteralValue("42"): the digits read base 10; a value above
//   2147483647 gives 2147483647, like the hex rule.
// - FloatLiteralValue("1.5f"): the text read as a decimal number (a final
//   "f" ignored), rounded to double and then to 32-bit float. Digits too
//   many for a double give infinity (an integer part that is not all
//   zeros) or 0.
// - CharLiteralValue("'\\n'"): the first character of the literal after
//   escape processing (UnquoteLiteral), as a signed 8-bit value; 0 when the
//   literal yields no character.
//
// Callers pass the token text the scanner matched; text that does not fit
// a rule gives the value of its longest valid prefix (0 when there is
// none). None of these fail.
#pragma once

#include <cstdint>
#include <string_view>

namespace GSCompiler {

int32_t HexLiteralValue(std::string_view token);
int32_t DecimalLiteralValue(std::string_view token);
float FloatLiteralValue(std::string_view token);
int32_t CharLiteralValue(std::string_view token);

}  // namespace GSCompiler
