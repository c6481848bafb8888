#include "kiv/Rand.h"

#include <unistd.h>

#include <chrono>

namespace Kiv {

void Rand::Randomise(uint32_t seed) {
  std::lock_guard<std::mutex> lock(mutex_);
  engine_.seed(seed);
}

void Rand::Randomise() {
  auto ticks =
      static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
  auto seed = static_cast<uint32_t>(ticks ^ (ticks >> 32)) ^
              (static_cast<uint32_t>(getpid()) * 2654435761u);
  Randomise(seed);
}

int32_t Rand::NextInt(int32_t lo, int32_t hi) {
  if (hi <= lo) return lo;
  std::uniform_int_distribution<int32_t> pick(lo, hi);
  std::lock_guard<std::mutex> lock(mutex_);
  return pick(engine_);
}

Rand& Rand::Program() {
  // Never destroyed, so threads still running at exit may use it.
  static Rand* program = new Rand;
  return *program;
}

}  // namespace Kiv
