#include "foundation/threads/JobDeadline.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "foundation/base/LogMessage.h"

namespace {

using Clock = std::chrono::steady_clock;

// Clock ticks of the deadline; kNone while no job is bounded.
constexpr int64_t kNone = INT64_MAX;
std::atomic<int64_t> g_deadline{kNone};

int64_t Ticks(Clock::time_point t) {
  return static_cast<int64_t>(t.time_since_epoch().count());
}

// The bounded job and its watchdog. Never destroyed: the watchdog thread
// waits on it for the life of the process, past static destruction.
struct JobWatch {
  std::mutex lock;  // the job lock
  // Wakes the watchdog for a job due before it would wake by itself, and
  // the job's thread once the watchdog's stop action has run. A job that
  // ends, or one due later, needs no wake: the watchdog finds it when it
  // wakes, so jobs that end in time cost it nothing.
  std::condition_variable changed;
  JobDeadlineScope* job = nullptr;
  bool watchdogStarted = false;
  Clock::time_point watchdogWakes = Clock::time_point::max();
  // The test hook's lag of the watchdog behind each deadline.
  Clock::duration watchdogDelay{0};
};

JobWatch& Watch() {
  static JobWatch* watch = new JobWatch;
  return *watch;
}

}  // namespace

std::chrono::steady_clock::time_point JobDeadlineWatchdogWakes() {
  JobWatch& watch = Watch();
  std::lock_guard<std::mutex> hold(watch.lock);
  return watch.watchdogWakes;
}

void SetJobDeadlineWatchdogDelay(std::chrono::milliseconds delay) {
  JobWatch& watch = Watch();
  std::lock_guard<std::mutex> hold(watch.lock);
  watch.watchdogDelay = delay.count() < 0 ? Clock::duration(0) : Clock::duration(delay);
}

bool JobDeadlinePassed() {
  const int64_t deadline = g_deadline.load(std::memory_order_relaxed);
  return deadline != kNone && Ticks(Clock::now()) >= deadline;
}

JobCommit JobDeadlineCommit(const std::string& path, const std::function<bool()>& write) {
  return JobDeadlineCommit(write, [path] { std::remove(path.c_str()); });
}

JobCommit JobDeadlineCommit(const std::function<bool()>& write, std::function<void()> undo) {
  JobWatch& watch = Watch();
  std::unique_lock<std::mutex> hold(watch.lock);
  if (watch.job == nullptr) {
    hold.unlock();
    return write() ? JobCommit::kDone : JobCommit::kFailed;
  }
  // The job lock stays held while `write` runs: the job is not stopped
  // half-way through it, and its file is known before a stop looks.
  return watch.job->Commit(write, std::move(undo));
}

JobDeadlineScope::JobDeadlineScope(std::chrono::milliseconds bound, StopAction onStop)
    : deadline_(Clock::now() + (bound.count() < 0 ? std::chrono::milliseconds(0) : bound)),
      onStop_(std::move(onStop)) {
  JobWatch& watch = Watch();
  bool wake = false;
  {
    std::lock_guard<std::mutex> hold(watch.lock);
    watch.job = this;
    if (onStop_ && !watch.watchdogStarted) {
      try {
        std::thread(&JobDeadlineScope::Watchdog).detach();
        watch.watchdogStarted = true;
      } catch (const std::system_error&) {
        LogMessage("JobDeadline> no thread to watch the job; it is bounded only where it looks");
      }
    }
    wake = onStop_ && deadline_ + watch.watchdogDelay < watch.watchdogWakes;
  }
  if (wake) watch.changed.notify_all();
  g_deadline.store(Ticks(deadline_), std::memory_order_relaxed);
}

JobDeadlineScope::~JobDeadlineScope() {
  JobWatch& watch = Watch();
  {
    std::unique_lock<std::mutex> hold(watch.lock);
    if (state_ == State::kRunning) state_ = State::kFinished;  // the watchdog leaves it be
    watch.changed.wait(hold, [this] { return !stopping_; });
    if (watch.job == this) watch.job = nullptr;
  }
  g_deadline.store(kNone, std::memory_order_relaxed);
}

bool JobDeadlineScope::Stopped() const {
  return Clock::now() >= deadline_;
}

JobCommit JobDeadlineScope::Commit(const std::function<bool()>& write,
                                   std::function<void()> undo) {
  if (state_ != State::kRunning || Clock::now() >= deadline_) return JobCommit::kStopped;
  if (!write()) return JobCommit::kFailed;
  committed_.push_back(std::move(undo));
  return JobCommit::kDone;
}

bool JobDeadlineScope::Finish() {
  JobWatch& watch = Watch();
  std::unique_lock<std::mutex> hold(watch.lock);
  if (state_ == State::kRunning && Clock::now() < deadline_) {
    state_ = State::kFinished;
    return true;
  }
  if (StopLocked()) {
    hold.unlock();
    if (onStop_) onStop_();
    return false;
  }
  // Stopped by the watchdog: its stop action ends first.
  watch.changed.wait(hold, [this] { return !stopping_; });
  return false;
}

bool JobDeadlineScope::StopLocked() {
  if (state_ != State::kRunning) return false;
  state_ = State::kStopped;
  for (const std::function<void()>& undo : committed_) undo();
  committed_.clear();
  return true;
}

void JobDeadlineScope::Watchdog() {
  JobWatch& watch = Watch();
  std::unique_lock<std::mutex> hold(watch.lock);
  for (;;) {
    JobDeadlineScope* job = watch.job;
    if (job == nullptr || !job->onStop_ || job->state_ != State::kRunning) {
      watch.watchdogWakes = Clock::time_point::max();
      watch.changed.wait(hold);
      continue;
    }
    const Clock::time_point due = job->deadline_ + watch.watchdogDelay;
    if (Clock::now() < due) {
      watch.watchdogWakes = due;
      watch.changed.wait_until(hold, due);
      continue;
    }
    job->StopLocked();
    // The scope waits for the action before it ends.
    job->stopping_ = true;
    hold.unlock();
    job->onStop_();
    hold.lock();
    job->stopping_ = false;
    watch.changed.notify_all();
  }
}
