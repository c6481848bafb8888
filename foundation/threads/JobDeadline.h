// JobDeadline: a time bound on the one job a process is running, which long
// work polls so that it can stop early and unwind through its normal
// failure paths (the script compiler polls it while it scans, checks and
// generates code; the asset validation, before it compiles).
//
// JobDeadlineScope(bound) sets the deadline to now + bound for its life and
// clears it when it ends; scopes do not nest (a second scope replaces the
// first's deadline and clears it when it ends). JobDeadlinePassed() answers
// true once a deadline is set and has passed; without a scope it is always
// false, so code outside a bounded job never stops. Stopped() of the scope
// tells whether the deadline passed while it was set (polled or not).
//
// Threads: the deadline is process-wide (the job may hop to the main thread
// and back); JobDeadlinePassed may be called from any thread and costs one
// clock read.
#pragma once

#include <chrono>

bool JobDeadlinePassed();

class JobDeadlineScope {
 public:
  explicit JobDeadlineScope(std::chrono::milliseconds bound);
  ~JobDeadlineScope();
  JobDeadlineScope(const JobDeadlineScope&) = delete;
  JobDeadlineScope& operator=(const JobDeadlineScope&) = delete;

  // True when the deadline has passed.
  bool Stopped() const;

 private:
  std::chrono::steady_clock::time_point deadline_;
};
