// WaitBriefSpin: waits for a Kiv::WEvent without a bound, first checking it
// for up to `spinMicros` microseconds without sleeping.
//
// The daemon client's hand-overs (a reply to its requester, the socket's
// read side back to the reader thread) usually complete within a few
// microseconds; a waiter that is still awake then takes them without a
// sleep and a wake-up of the kernel, which are most of a request's round
// trip over loopback. After the spin it sleeps as Wait does. The spin
// yields the processor between checks, so it never starves the thread it
// waits for. Internal to the daemon client.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

#include "kiv/WEvent.h"

namespace VADClientInternal {

constexpr uint32_t kSpinMicros = 50;

inline void WaitBriefSpin(Kiv::WEvent& event, uint32_t spinMicros = kSpinMicros) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(spinMicros);
  while (!event.Wait(0)) {
    if (std::chrono::steady_clock::now() >= until) {
      event.Wait();
      return;
    }
    std::this_thread::yield();
  }
}

}  // namespace VADClientInternal
