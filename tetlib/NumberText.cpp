#include "tetlib/NumberText.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace TETLib {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Skips leading blanks and reads an optional sign; answers true for "-".
bool TakeSign(std::string_view& text) {
  size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;
  text.remove_prefix(at);
  if (text.empty() || (text[0] != '-' && text[0] != '+')) return false;
  const bool negative = text[0] == '-';
  text.remove_prefix(1);
  return negative;
}

}  // namespace

double TextToDouble(std::string_view text) {
  const bool negative = TakeSign(text);
  double value = 0.0;
  const std::from_chars_result result =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::invalid_argument) return 0.0;
  // Out of range: from_chars leaves the value alone; atof gives 0 for a
  // tiny number and infinity for a huge one.
  if (result.ec == std::errc::result_out_of_range) {
    const size_t e = text.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return negative ? -value : value;
}

float TextToFloat(std::string_view text) {
  return static_cast<float>(TextToDouble(text));
}

int32_t TextToInt(std::string_view text) {
  const bool negative = TakeSign(text);
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  int64_t value = 0;
  for (size_t i = 0; i < digits; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{1} << 32) break;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

std::vector<float> ParseFloatList(std::string_view text) {
  std::vector<float> values;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != ' ' && text[i] != ',') continue;
    values.push_back(TextToFloat(text.substr(start, i - start)));
    start = i + 1;
  }
  values.push_back(TextToFloat(text.substr(start)));
  return values;
}

}  // namespace TETLib
