#include "foundation/base/ProgramClock.h"

#include <atomic>
#include <cstdint>

#include "kiv/Time.h"

namespace {

std::atomic<bool> g_frozen{false};
std::atomic<double> g_frozenValue{0.0};

uint64_t StartMs() {
  static const uint64_t start = Kiv::Time::Ms();
  return start;
}

}  // namespace

namespace ProgramClock {

double Seconds() {
  if (g_frozen.load()) return g_frozenValue.load();
  // The start is read first: on the first call it is taken then, and the
  // clock read after it cannot be earlier (which would wrap).
  const uint64_t start = StartMs();
  return static_cast<double>(Kiv::Time::Ms() - start) / 1000.0;
}

float SecondsFloat() { return static_cast<float>(Seconds()); }

void SetForTests(double seconds) {
  g_frozenValue.store(seconds);
  g_frozen.store(true);
}

void AdvanceForTests(double seconds) {
  double value = g_frozenValue.load();
  while (!g_frozenValue.compare_exchange_weak(value, value + seconds)) {
  }
}

void ReleaseForTests() { g_frozen.store(false); }

}  // namespace ProgramClock
