// Random numbers for the program's own uses (temporary names and the like;
// nothing here is meant for security).
#pragma once

#include <cstdint>
#include <mutex>
#include <random>

namespace Kiv {

class Rand {
 public:
  explicit Rand(uint32_t seed = 5489u) : engine_(seed) {}
  void Randomise(uint32_t seed);
  // Seeds from the clock and the process id.
  void Randomise();
  // A number from `lo` to `hi`, both included (lo when hi < lo).
  int32_t NextInt(int32_t lo, int32_t hi);
  // The program's generator, shared by all threads.
  static Rand& Program();

 private:
  std::mutex mutex_;
  std::mt19937 engine_;
};

}  // namespace Kiv
