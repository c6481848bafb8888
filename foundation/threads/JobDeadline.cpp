#include "foundation/threads/JobDeadline.h"

#include <atomic>
#include <cstdint>

namespace {

using Clock = std::chrono::steady_clock;

// Clock ticks of the deadline; kNone while no job is bounded.
constexpr int64_t kNone = INT64_MAX;
std::atomic<int64_t> g_deadline{kNone};

int64_t Ticks(Clock::time_point t) {
  return static_cast<int64_t>(t.time_since_epoch().count());
}

}  // namespace

bool JobDeadlinePassed() {
  const int64_t deadline = g_deadline.load(std::memory_order_relaxed);
  return deadline != kNone && Ticks(Clock::now()) >= deadline;
}

JobDeadlineScope::JobDeadlineScope(std::chrono::milliseconds bound)
    : deadline_(Clock::now() + (bound.count() < 0 ? std::chrono::milliseconds(0) : bound)) {
  g_deadline.store(Ticks(deadline_), std::memory_order_relaxed);
}

JobDeadlineScope::~JobDeadlineScope() {
  g_deadline.store(kNone, std::memory_order_relaxed);
}

bool JobDeadlineScope::Stopped() const {
  return Clock::now() >= deadline_;
}
