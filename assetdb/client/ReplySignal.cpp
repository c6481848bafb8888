#include "assetdb/client/ReplySignal.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
                  std::atomic<uint32_t>::is_always_lock_free,
              "the futex word must be a plain 32-bit word");

namespace {

void FutexWait(std::atomic<uint32_t>* word, uint32_t expected) {
  // Returns on a wake, a signal, or at once when the word no longer holds
  // `expected`; the caller looks again in every case.
  syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

void FutexWakeAll(std::atomic<uint32_t>* word) {
  syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace

void ReplySignal::Set() {
  if (word_.exchange(kSet, std::memory_order_acq_rel) == kWaiting) FutexWakeAll(&word_);
}

void ReplySignal::Reset() {
  word_.store(kUnset, std::memory_order_release);
}

void ReplySignal::Wait() {
  uint32_t state = word_.load(std::memory_order_acquire);
  while (state != kSet) {
    if (state == kUnset &&
        !word_.compare_exchange_weak(state, kWaiting, std::memory_order_acq_rel,
                                     std::memory_order_acquire)) {
      continue;  // `state` holds the word as it is now
    }
    FutexWait(&word_, kWaiting);
    state = word_.load(std::memory_order_acquire);
  }
}
