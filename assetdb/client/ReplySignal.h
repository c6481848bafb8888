// ReplySignal: what a thread waiting for its daemon reply sleeps on.
//
// A manual-reset event for one waiting thread, on a futex word of its own:
// Set makes it set and wakes the waiter; Wait returns once it is set (at
// once when it already is); Reset makes it unset. Set may come from any
// thread, also twice; Wait and Reset belong to the waiting thread.
//
// When the waiter sleeps, a reply costs one wait and one wake system call,
// and none when Set comes before Wait: unlike a mutex and condition
// variable, nothing is locked, so the woken thread never waits for the one
// that woke it.
//
// Lifetime: Set touches the object until it returns, so whoever calls Set
// keeps the object alive until then (VADClientTransaction holds its End
// back meanwhile). Nothing throws.
#pragma once

#include <atomic>
#include <cstdint>

class ReplySignal {
 public:
  ReplySignal() = default;
  ReplySignal(const ReplySignal&) = delete;
  ReplySignal& operator=(const ReplySignal&) = delete;

  void Set();
  void Reset();
  void Wait();
  bool IsSet() const { return word_.load(std::memory_order_acquire) == kSet; }

 private:
  static constexpr uint32_t kUnset = 0;
  static constexpr uint32_t kSet = 1;
  static constexpr uint32_t kWaiting = 2;  // unset, and the waiter sleeps or is about to

  std::atomic<uint32_t> word_{kUnset};
};
