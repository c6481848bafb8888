// Numbers read from the texts of configurations and definitions.
//
// The conversions behave as the C library's atof and strtol (base 10) do in
// the "C" locale, whatever locale the process runs in: leading blanks are
// skipped, an optional sign is read, the longest number that follows is
// taken and the rest ignored ("12abc" gives 12); text without a number gives
// 0. Integers outside the 32-bit range are clamped.
//
// ParseFloatList splits a text into numbers: a blank (" ") or a comma ends
// the current number, which is converted as by TextToFloat (an empty piece
// gives 0.0), and after the last character the rest is converted too, empty
// or not. So "1,2,3" gives three values, "1, 2" gives 1, 0, 2 (two
// separators in a row), and the empty text gives the single value 0.0.
//
// Pure functions; safe on any thread.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace TETLib {

double TextToDouble(std::string_view text);
float TextToFloat(std::string_view text);
int32_t TextToInt(std::string_view text);
std::vector<float> ParseFloatList(std::string_view text);

}  // namespace TETLib
