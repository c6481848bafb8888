// FairMutex: a mutex that lets its waiters in in the order they came.
//
// A thread that unlocks and at once locks again (a connection storing one
// value after another) gets in line behind the threads already waiting, so
// a stream of short holds never starves a waiter, as it can with a plain
// mutex, whose unlocker usually wins the race for the next hold. Meets the
// Lockable requirements (std::lock_guard, std::unique_lock). Not
// recursive. Safe from any thread; nothing throws beyond what std::mutex
// and std::condition_variable may.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

class FairMutex {
 public:
  void lock() {
    std::unique_lock<std::mutex> hold(mutex_);
    const uint64_t ticket = next_++;
    turn_.wait(hold, [&] { return serving_ == ticket; });
  }
  bool try_lock() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (serving_ != next_) return false;
    ++next_;
    return true;
  }
  void unlock() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      ++serving_;
    }
    turn_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  uint64_t next_ = 0;     // the ticket the next comer takes
  uint64_t serving_ = 0;  // the ticket that holds the mutex, or is next to
};
