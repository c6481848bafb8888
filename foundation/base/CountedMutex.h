// The lock of a results log: a recursive mutex that counts its depth.
//
// Lock waits without a bound until the calling thread holds the mutex, then
// adds 1 to the depth; the thread may lock again (each Lock needs its
// Unlock). Unlock subtracts 1 and unlocks. An Unlock by a thread that does
// not hold the mutex is ignored (answers false) instead of corrupting it.
// Depth is meaningful to the holder only. It is a Kiv::CriticalSection that
// also knows its holder.
#pragma once

#include <atomic>
#include <cstdint>

#include "kiv/CriticalSection.h"
#include "kiv/Thread.h"

class CountedMutex {
 public:
  CountedMutex() = default;
  CountedMutex(const CountedMutex&) = delete;
  CountedMutex& operator=(const CountedMutex&) = delete;

  void Lock() {
    mutex_.Enter();
    owner_.store(Kiv::Thread::GetCurrentId(), std::memory_order_relaxed);
    ++depth_;
  }

  bool Unlock() {
    if (owner_.load(std::memory_order_relaxed) != Kiv::Thread::GetCurrentId()) return false;
    if (--depth_ == 0) owner_.store(0, std::memory_order_relaxed);
    mutex_.Leave();
    return true;
  }

  uint32_t Depth() const { return depth_; }

 private:
  Kiv::CriticalSection mutex_;
  std::atomic<uint32_t> owner_{0};  // Thread ids are never 0.
  uint32_t depth_ = 0;
};
