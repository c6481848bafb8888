#include "gscompiler/LiteralValues.h"

#include <charconv>
#include <limits>
#include <new>

#include "foundation/text/StringHelpers.h"

namespace GSCompiler {

namespace {

constexpr uint32_t kIntMax = 2147483647u;

// Reads digits of `base` (10 or 16) from `digits` with saturation at kIntMax.
int32_t SaturatedValue(std::string_view digits, uint32_t base) {
  uint32_t value = 0;
  for (char c : digits) {
    uint32_t d;
    if (c >= '0' && c <= '9') {
      d = static_cast<uint32_t>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = static_cast<uint32_t>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      break;
    }
    if (value > (kIntMax - d) / base) return static_cast<int32_t>(kIntMax);
    value = value * base + d;
  }
  return static_cast<int32_t>(value);
}

// Largest double that still rounds to a finite float (FLT_MAX plus half a
// unit in the last place rounds to infinity).
constexpr double kFloatOverflow = 0x1.ffffffp127;

float NarrowToFloat(double d) {
  if (d >= kFloatOverflow) return std::numeric_limits<float>::infinity();
  return static_cast<float>(d);
}

}  // namespace

int32_t HexLiteralValue(std::string_view token) {
  if (token.size() >= 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    token.remove_prefix(2);
  }
  return SaturatedValue(token, 16);
}

int32_t DecimalLiteralValue(std::string_view token) {
  return SaturatedValue(token, 10);
}

float FloatLiteralValue(std::string_view token) {
  double d = 0.0;
  const char* first = token.data();
  const char* last = first + token.size();
  auto [end, error] = std::from_chars(first, last, d, std::chars_format::fixed);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    // Out of a double's range: infinity when the integer part has a nonzero
    // digit, otherwise an underflow to 0.
    for (const char* p = first; p != last && *p != '.'; ++p) {
      if (*p >= '1' && *p <= '9') return std::numeric_limits<float>::infinity();
    }
    return 0.0f;
  }
  if (error != std::errc()) return 0.0f;
  return NarrowToFloat(d);
}

int32_t CharLiteralValue(std::string_view token) {
  try {
    Kiv::String text = UnquoteLiteral(token, true);
    if (text.empty()) return 0;
    return static_cast<int8_t>(static_cast<unsigned char>(text[0]));
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace GSCompiler
