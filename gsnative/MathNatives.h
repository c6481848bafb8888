// The "Math" natives: Rand(float, float), Rand(int, int) and Sqrt.
//
// The generator is one process-wide linear congruential sequence:
// a = (a * 31415821 + 1) mod 100000000, the product formed from four-digit
// halves in signed 32-bit arithmetic; each draw is r = |a| mod 65535 (0 to
// 65534). Rand(lo, hi) is lo + (hi - lo) * r * c with c the float of bits
// 0x37800080 (just below 1/65535), so hi itself is never given (the int
// form truncates toward zero and stays strictly below hi, or above it when
// lo > hi); Rand(x, x) is x. Registration seeds the generator with the low
// 32 bits of the current time in seconds.
#pragma once

#include <cstdint>

#include "gsruntime/GSMachine.h"

void RegisterMathNatives(GSMachine& machine);

// The generator itself, for tests: set the state, and take the next draw r.
void SeedMathRand(int32_t seed);
int32_t NextMathRand();
