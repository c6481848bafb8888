// The process-wide reader/writer lock.
//
// GlobalLock is taken around shared state (the interface text, the
// validation library's data ...) before the locks of the structures it
// protects. It is held shared by any number of threads or exclusively by one,
// prefers writers (no new shared grant to a thread that does not hold it
// while another thread waits for an exclusive grant), and is re-entrant for
// its holders: every grant, shared or exclusive, needs its own Release, and
// the lock is free at the last one. Grants are counted per thread id (the
// usual id is Kiv::Thread::GetCurrentId()).
//
// Grant rules (TryAcquire; Acquire waits until they hold):
//  - free lock: an exclusive request is granted; a shared one unless another
//    thread waits for an exclusive grant;
//  - a holder: a shared request is granted at once; an exclusive request is
//    granted when the thread is the only holder (an exclusive holder, or a
//    shared one, which is then raised to exclusive);
//  - another thread: refused while the lock is held exclusively or an
//    exclusive request of another thread waits; refused when exclusive is
//    asked; otherwise granted.
// Once raised to exclusive, the lock stays exclusive until its last grant is
// released.
//
// Raising a shared grant: a thread that holds the lock shared and asks for it
// exclusively waits until the other holders have left (new readers are held
// back meanwhile), then gets it. Two such threads would wait for each other
// forever, so while one is waiting, a second thread's raise is refused:
// Acquire answers false at once, the thread keeps the grants it had, and a
// line goes to the log. That is the only case in which Acquire answers false.
//
// Release by a thread that holds no grant changes nothing, answers false and
// logs a line. Release answers true when the lock became free by it.
//
// Waiting: a waiter sleeps until a release or other change may let it in. A
// waiter on the main thread (IsMainThread) also runs the pending tasks of the
// worker queue that the main thread may run, one at a time, so that work the
// holder posts to the main thread cannot deadlock the wait; and after every
// 15 seconds of waiting (SetCacheTrimInterval) it asks the engine's resource
// system, when one exists, to drop unused cached resources. The blocking
// screen is asked to show itself then, but a headless tool shows none (see
// BlockingScreen.h).
//
// Thread-safe. The lock must outlive its waiters and holders.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class WorkerThread;

class GlobalLock {
 public:
  static constexpr uint32_t kDefaultCacheTrimMs = 15000;

  // `queue` is the worker queue whose main-thread tasks a main-thread waiter
  // runs; null means the process-wide one.
  explicit GlobalLock(WorkerThread* queue = nullptr);
  GlobalLock(const GlobalLock&) = delete;
  GlobalLock& operator=(const GlobalLock&) = delete;

  // The process-wide lock.
  static GlobalLock& Get();

  bool Acquire(uint32_t thread, bool exclusive = true);
  bool TryAcquire(uint32_t thread, bool exclusive);
  bool Release(uint32_t thread);

  // A snapshot of the state, for diagnostics and tests.
  uint32_t HolderCount() const;
  bool IsExclusive() const;
  uint32_t GrantsOf(uint32_t thread) const;
  uint32_t PendingExclusive() const;

  void SetCacheTrimInterval(uint32_t ms);

  // Wakes the main thread when it waits for some GlobalLock, so that it runs
  // the main-thread task just posted (the worker queue calls this).
  static void WakeMainThreadWaiter();

 private:
  struct Holder {
    uint32_t thread;
    uint32_t grants;
  };

  bool CanGrantLocked(uint32_t thread, bool exclusive) const;
  void GrantLocked(uint32_t thread, bool exclusive);
  const Holder* FindHolderLocked(uint32_t thread) const;
  bool OtherWaitsLocked(const std::vector<uint32_t>& waiters, uint32_t thread) const;
  static void EraseOne(std::vector<uint32_t>& list, uint32_t thread);
  void WaitOnOtherThread(uint32_t thread, bool exclusive);
  void WaitOnMainThread(uint32_t thread, bool exclusive);
  bool TryGrantAfterWait(uint32_t thread, bool exclusive);
  void TrimCaches(bool first);
  WorkerThread& Queue();

  WorkerThread* queue_;
  mutable std::mutex guard_;
  std::condition_variable changed_;
  uint32_t holder_count_ = 0;
  bool exclusive_ = false;
  std::vector<Holder> holders_;              // One entry per holding thread.
  std::vector<uint32_t> pending_exclusive_;  // One entry per waiting exclusive request.
  std::vector<uint32_t> raising_;            // Holders waiting to raise to exclusive.
  uint64_t main_wake_ = 0;                   // Bumped when main-thread work is posted.
  uint32_t trim_interval_ms_ = kDefaultCacheTrimMs;
};
