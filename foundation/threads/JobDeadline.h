// JobDeadline: a time bound on the one job a process is running, which long
// work polls so that it can stop early and unwind through its normal
// failure paths (the script compiler polls it while it scans, checks and
// generates code; the asset validation, before it compiles), and which
// holds even where nothing polls it.
//
// JobDeadlineScope(bound) sets the deadline to now + bound for its life and
// clears it when it ends; scopes do not nest (a second scope replaces the
// first's deadline and clears it when it ends). JobDeadlinePassed() answers
// true once a deadline is set and has passed; without a scope it is always
// false, so code outside a bounded job never stops. Stopped() of the scope
// tells whether the deadline passed while it was set (polled or not).
//
// Lasting effects: what a job leaves behind for later jobs (a library
// renamed into a cache) is made through JobDeadlineCommit(path, write), or
// JobDeadlineCommit(write, undo) when removing a path is not how to take it
// back (a file named relative to an open folder, which a removal by path
// could reach through a link swapped in meanwhile).
// Outside a bounded job `write` just runs. Inside one it runs only while
// the deadline has not passed and the job has not ended, under the lock
// that ends the job (so `write` must not commit in turn); when it
// succeeds, `path` (or `undo`) is remembered as the job's. Once the deadline has passed
// nothing runs: kStopped.
//
// How a job ends: exactly one of two things happens, once.
// - Finish() on the job's thread once its work is done, in time: true, and
//   what it committed stays.
// - Otherwise the job is stopped: the files it committed are removed, or
//   their undo run (a
//   commit in progress ends first; none starts after), then the scope's
//   stop action, if any, runs on the thread that stopped it. That is the
//   watchdog thread (one for the process, started with the first scope
//   that has a stop action and never ended), which stops such a job at its
//   deadline however its work stalls; or the job's
//   own thread, whose Finish() comes after the deadline while the watchdog
//   has not stopped the job yet. Finish() then answers false, after the
//   stop action has run (on the watchdog thread: it waits for it). A stop
//   action may end the process and never return.
// A scope that ends without Finish and unstopped leaves its commits.
//
// Threads: the deadline is process-wide (the job may hop to the main thread
// and back); JobDeadlinePassed may be called from any thread and costs one
// clock read; JobDeadlineCommit from any thread. Without a thread for the
// watchdog, the job is bounded only where it polls (logged).
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

bool JobDeadlinePassed();
// When the watchdog (below) next wakes by itself: the deadline it waits
// for (plus the delay below), or the time point max while it waits for a
// job (for checks).
std::chrono::steady_clock::time_point JobDeadlineWatchdogWakes();
// Test hook: from then on the watchdog stops a job only `delay` after its
// deadline (0, the default: at it), so that a test can meet a job that
// comes back late before the watchdog acts. The deadline itself, and what
// polls it, are unchanged.
void SetJobDeadlineWatchdogDelay(std::chrono::milliseconds delay);

enum class JobCommit {
  kDone,     // `write` ran and succeeded
  kFailed,   // `write` ran and failed
  kStopped,  // the job's time is up: nothing ran
};
JobCommit JobDeadlineCommit(const std::string& path, const std::function<bool()>& write);
JobCommit JobDeadlineCommit(const std::function<bool()>& write, std::function<void()> undo);

class JobDeadlineScope {
 public:
  using StopAction = std::function<void()>;

  explicit JobDeadlineScope(std::chrono::milliseconds bound, StopAction onStop = nullptr);
  // Waits for a stop action that runs on the watchdog thread.
  ~JobDeadlineScope();
  JobDeadlineScope(const JobDeadlineScope&) = delete;
  JobDeadlineScope& operator=(const JobDeadlineScope&) = delete;

  // True when the deadline has passed.
  bool Stopped() const;
  // The job's work is done: true when that was in time (see above).
  bool Finish();

 private:
  enum class State { kRunning, kFinished, kStopped };

  friend JobCommit JobDeadlineCommit(const std::function<bool()>& write,
                                     std::function<void()> undo);

  // Under the job lock: runs `write` while the job is in time.
  JobCommit Commit(const std::function<bool()>& write, std::function<void()> undo);
  // Under the job lock: ends a running job as stopped, removing its
  // commits; false when it had ended already.
  bool StopLocked();
  // The watchdog thread, one for the process, started by the first scope
  // with a stop action: stops the watched job at its deadline.
  static void Watchdog();

  std::chrono::steady_clock::time_point deadline_;
  StopAction onStop_;
  // Guarded by the job lock.
  State state_ = State::kRunning;
  std::vector<std::function<void()>> committed_;  // the undo of each commit
  bool stopping_ = false;  // the watchdog runs the stop action
};
