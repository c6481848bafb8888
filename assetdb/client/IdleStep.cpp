#include "assetdb/client/IdleStep.h"

#include <atomic>
#include <cstdint>

#include "foundation/threads/WorkerThread.h"
#include "kiv/Time.h"

namespace {

std::atomic<uint64_t> startMs{0};
std::atomic<bool> started{false};
std::atomic<double> clockSeconds{0.0};
std::atomic<float> clockSecondsFloat{0.0f};

}  // namespace

void CollectStringGarbage() {
  const uint64_t now = Kiv::Time::Ms();
  bool expected = false;
  if (started.compare_exchange_strong(expected, true)) startMs.store(now);
  const double seconds = double(now - startMs.load()) / 1000.0;
  clockSeconds.store(seconds);
  clockSecondsFloat.store(static_cast<float>(seconds));
  WorkerThread& queue = WorkerThread::Get();
  const int more = queue.RunPending();
  for (int i = 0; i < more; ++i) {
    if (!queue.RunOnePending()) break;
  }
}

double GetProcessClockSeconds() {
  return clockSeconds.load();
}

float GetProcessClockSecondsFloat() {
  return clockSecondsFloat.load();
}
