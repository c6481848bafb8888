// WaitUntil: bounded polling for a condition that another thread or process
// makes true, in place of fixed sleeps in tests.
#pragma once

#include <chrono>
#include <thread>

namespace VUTest {

// Polls `condition` every `stepMs` until it holds (true) or `timeoutMs`
// have passed (false; the condition is asked once more at the end).
template <class Condition>
bool WaitUntil(Condition condition, int timeoutMs, int stepMs = 5) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
  }
  return true;
}

}  // namespace VUTest
