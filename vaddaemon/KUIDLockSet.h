// KUIDLockSet: serialises the work on one asset.
//
// Acquire(kuid) waits until no other holder has the same KUID, then answers
// a Hold that keeps it until the Hold is destroyed. TryAcquire never waits:
// its Hold holds nothing (Held() false) while another holder has the KUID.
// Holds of different KUIDs never wait for each other. The set must outlive its holds. A thread that
// already holds a KUID must not acquire it again (it would wait forever);
// the store never nests holds of one KUID.
//
// Threads: safe from any thread. Nothing throws beyond std::bad_alloc.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "foundation/text/KUID.h"

class KUIDLockSet {
 public:
  class Hold {
   public:
    Hold(KUIDLockSet* set, const KUID& kuid) : set_(set), kuid_(kuid) {}
    ~Hold();
    Hold(Hold&& other) noexcept : set_(other.set_), kuid_(other.kuid_) { other.set_ = nullptr; }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    Hold& operator=(Hold&&) = delete;
    bool Held() const { return set_ != nullptr; }

   private:
    KUIDLockSet* set_;
    KUID kuid_;
  };

  Hold Acquire(const KUID& kuid);
  Hold TryAcquire(const KUID& kuid);

 private:
  void Release(const KUID& kuid);

  std::mutex mutex_;
  std::condition_variable released_;
  std::vector<KUID> held_;
};
