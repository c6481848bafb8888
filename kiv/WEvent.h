// Events that threads wait on.
//
// A Kiv::WEvent is set or not set. Wait returns true at once while it is
// set, and otherwise waits until it is set (true) or `ms` milliseconds pass
// (false); kInfinite waits without a bound. A manual-reset event stays set
// until Reset and releases every waiter. An auto-reset event releases one
// waiter per Set and is not set any more once that waiter returns.
//
// Pulse releases the threads waiting at that moment without leaving the event
// set: all of them for a manual-reset event, one for an auto-reset event
// (none when nobody waits). Every operation is thread-safe; nothing throws.
// A thread released by Wait may destroy the event at once (Set and Pulse are
// done with it by then).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace Kiv {

class WEvent {
 public:
  static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

  explicit WEvent(bool manual_reset = true, bool initially_set = false)
      : manual_reset_(manual_reset), set_(initially_set) {}
  WEvent(const WEvent&) = delete;
  WEvent& operator=(const WEvent&) = delete;

  void Set();
  void Reset();
  void Pulse();
  bool Wait(uint32_t ms = kInfinite);

 private:
  // True when a waiter that began in `generation` may return, taking the
  // signal it returns on (an auto-reset event's set state or pulse).
  bool TakeSignal(uint64_t generation);

  const bool manual_reset_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_;
  uint64_t generation_ = 0;  // Manual reset: counts pulses.
  uint32_t waiters_ = 0;     // Auto reset: threads waiting now.
  uint32_t pulses_ = 0;      // Auto reset: pulses not yet taken by a waiter.
};

}  // namespace Kiv
