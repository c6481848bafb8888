#include "kiv/WEvent.h"

#include <chrono>

namespace Kiv {

// Set and Pulse notify while they hold the lock: a released waiter cannot
// return (and perhaps destroy the event) before they are done with it.
void WEvent::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  set_ = true;
  cv_.notify_all();
}

void WEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  set_ = false;
}

void WEvent::Pulse() {
  std::lock_guard<std::mutex> lock(mutex_);
  set_ = false;
  if (manual_reset_) {
    ++generation_;
  } else if (pulses_ < waiters_) {
    ++pulses_;
  }
  cv_.notify_all();
}

bool WEvent::TakeSignal(uint64_t generation) {
  if (manual_reset_) return set_ || generation_ != generation;
  if (set_) {
    set_ = false;
    return true;
  }
  if (pulses_ == 0) return false;
  --pulses_;
  return true;
}

bool WEvent::Wait(uint32_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t generation = generation_;
  if (set_) {
    // An arriving thread takes the set state, never a pulse meant for the
    // threads already waiting.
    if (!manual_reset_) set_ = false;
    return true;
  }
  if (ms == 0) return false;
  ++waiters_;
  bool signalled = true;
  auto ready = [&] { return TakeSignal(generation); };
  if (ms == kInfinite) {
    cv_.wait(lock, ready);
  } else {
    signalled = cv_.wait_for(lock, std::chrono::milliseconds(ms), ready);
  }
  --waiters_;
  // A pulse meant for waiters that have all left must not release a later one.
  if (pulses_ > waiters_) pulses_ = waiters_;
  return signalled;
}

}  // namespace Kiv
