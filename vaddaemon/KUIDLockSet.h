// KUIDLockSet: serialises the work on one asset.
//
// Two kinds of hold. An exclusive hold (Acquire) is for work that changes
// an asset's folders (install, commit, revert, removal): it waits until no
// other holder has the KUID. A shared hold (AcquireShared) is for work that
// reads them (an export, a validation): several readers of one KUID hold it
// together, and while any does, no exclusive hold is given. A writer that
// waits goes first: new shared holds of its KUID wait behind it, so a
// stream of readers never starves an install. Holds of different KUIDs
// never wait for each other.
//
// A Hold keeps its KUID until it is destroyed or Release is called, from
// any thread. TryAcquire and TryAcquireShared never wait: their Hold holds
// nothing (Held() false) when the KUID is not free for them. WaitShareable
// takes nothing: it waits, at most until `until`, for a moment when
// AcquireShared would not wait (no writer holds the KUID or waits for it),
// and answers whether it met one; a reader that must hold nothing while it
// waits tries TryAcquireShared after it. The set must
// outlive its holds. A thread that already holds a KUID must not acquire it
// again (it could wait forever); the store never nests holds of one KUID.
//
// Threads: safe from any thread. Nothing throws beyond std::bad_alloc.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "foundation/text/KUID.h"

class KUIDLockSet {
 public:
  class Hold {
   public:
    Hold() = default;
    Hold(KUIDLockSet* set, const KUID& kuid, bool shared)
        : set_(set), kuid_(kuid), shared_(shared) {}
    ~Hold() { Release(); }
    Hold(Hold&& other) noexcept : set_(other.set_), kuid_(other.kuid_), shared_(other.shared_) {
      other.set_ = nullptr;
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    // Releases what this hold had, then takes what `other` had.
    Hold& operator=(Hold&& other) noexcept;
    bool Held() const { return set_ != nullptr; }
    // Gives the KUID back now; nothing when nothing is held.
    void Release();

   private:
    KUIDLockSet* set_ = nullptr;
    KUID kuid_;
    bool shared_ = false;
  };

  Hold Acquire(const KUID& kuid);
  Hold TryAcquire(const KUID& kuid);
  Hold AcquireShared(const KUID& kuid);
  Hold TryAcquireShared(const KUID& kuid);
  bool WaitShareable(const KUID& kuid, std::chrono::steady_clock::time_point until);

 private:
  struct Entry {
    KUID kuid;
    uint32_t readers = 0;
    uint32_t writersWaiting = 0;
    bool writer = false;
  };

  // The entry of `kuid`, made when there is none. Under mutex_.
  Entry& EntryOf(const KUID& kuid);
  // Forgets the entry of `kuid` when nothing holds or waits for it.
  void Prune(const KUID& kuid);
  void Release(const KUID& kuid, bool shared);

  std::mutex mutex_;
  std::condition_variable released_;
  std::vector<Entry> entries_;
};
