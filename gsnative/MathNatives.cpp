#include "gsnative/MathNatives.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"

namespace {

using namespace GSRuntime;

int32_t state = 0;

constexpr int32_t kHalf = 10000;
constexpr int32_t kModulus = 100000000;
constexpr int32_t kMultiplier = 31415821;
const float kScale = std::bit_cast<float>(uint32_t{0x37800080});

// a * kMultiplier mod kModulus without overflow, from four-digit halves.
int32_t MultiplyModulo(int32_t a) {
  const int32_t p1 = a / kHalf, p0 = a % kHalf;
  const int32_t q1 = kMultiplier / kHalf, q0 = kMultiplier % kHalf;
  return (((p0 * q1 + p1 * q0) % kHalf) * kHalf + p0 * q0) % kModulus;
}

void RandFloat(GSContext*, GSStack& stack) {
  const float lo = GetFloatArg(stack, 1), hi = GetFloatArg(stack, 2);
  const double factor = static_cast<double>(NextMathRand()) * static_cast<double>(kScale);
  stack.Push(GSFromFloat(static_cast<float>(lo + (static_cast<double>(hi) - lo) * factor)));
}

void RandInt(GSContext*, GSStack& stack) {
  const int32_t lo = GSInt(GSNativeArg(stack, 1)), hi = GSInt(GSNativeArg(stack, 2));
  const int64_t span = static_cast<int64_t>(hi) - lo;
  const float product = static_cast<float>(NextMathRand()) * kScale * static_cast<float>(span);
  int64_t step = static_cast<int64_t>(product);  // toward zero
  // Rounding in single precision can reach the span itself on wide ranges;
  // the result stays strictly inside, as on narrow ones.
  if (span > 0 && step >= span) step = span - 1;
  if (span < 0 && step <= span) step = span + 1;
  stack.Push(GSFromInt(static_cast<int32_t>(lo + step)));
}

void Sqrt(GSContext*, GSStack& stack) {
  stack.Push(GSFromFloat(std::sqrt(GetFloatArg(stack, 1))));
}

}  // namespace

void SeedMathRand(int32_t seed) {
  state = seed;
}

int32_t NextMathRand() {
  state = (MultiplyModulo(state) + 1) % kModulus;
  return std::abs(state) % 65535;
}

void RegisterMathNatives(GSMachine& machine) {
  SeedMathRand(
      static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(std::time(nullptr)))));
  machine.RegisterNative(
      std::make_unique<GSCNativeFunction>("Math", "$float@Math::Rand(float,float)", RandFloat));
  machine.RegisterNative(
      std::make_unique<GSCNativeFunction>("Math", "$int@Math::Rand(int,int)", RandInt));
  machine.RegisterNative(
      std::make_unique<GSCNativeFunction>("Math", "$float@Math::Sqrt(float)", Sqrt));
}
