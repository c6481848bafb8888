// Recursive locks.
//
// A Kiv::CriticalSection may be entered again by the thread that holds it;
// it is free once every Enter (or successful TryEnter) has had its Leave.
// Leave by a thread that does not hold it is undefined, as for any mutex.
// A Kiv::SingleLock enters a critical section for the scope it lives in.
#pragma once

#include <mutex>

namespace Kiv {

class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  // Enters when no other thread holds it; false otherwise (without waiting).
  bool TryEnter() { return mutex_.try_lock(); }

 private:
  std::recursive_mutex mutex_;
};

class SingleLock {
 public:
  explicit SingleLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~SingleLock() { section_.Leave(); }
  SingleLock(const SingleLock&) = delete;
  SingleLock& operator=(const SingleLock&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace Kiv
