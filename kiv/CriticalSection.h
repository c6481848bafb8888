// Recursive locks.
//
// A Kiv::CriticalSection may be entered again by the thread that holds it;
// it is free once every Enter (or successful TryEnter) has had its Leave.
// Leave by a thread that does not hold it is undefined, as for any mutex.
// A Kiv::SingleLock enters a critical section for the scope it lives in.
// lock, unlock and try_lock are the same operations under the standard
// names, so that std::unique_lock (to leave and re-enter within a scope)
// and std::condition_variable_any accept a critical section.
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

  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnter(); }

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
