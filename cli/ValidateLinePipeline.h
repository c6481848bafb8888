// ValidateLinePipeline: runs consecutive "validate" lines of a batch file
// with several of them in flight, and prints their results exactly as a
// one-by-one run would.
//
// A validation is a chain of daemon round trips (handle, open, record,
// validation, release) whose own work is small, so a batch of them is
// bound by waiting. The pipeline overlaps the chains of up to
// kLinesInFlight lines: each line runs on a thread of the pipeline
// (RunCommandGuarded with LostRequestScope::kThisThread, so a lost daemon is
// reported on the lines whose requests it cut off) into a ResultsLog of its
// own, and the calling thread prints the logs in line order, each followed
// by one more line end, as the batch runner prints a line it runs itself
// (each line's text leaves in one write). A line that ends wakes the
// calling thread only when that thread waits for it: the first unprinted
// line, or one naming the asset of the line it is about to queue.
// The requests of one line are made in the same order as ever; two lines
// that name the same asset (same user and content id, whatever the
// version) never run at once: the later one waits for the earlier one.
//
// Takes(args) tells whether a line (arguments without the program path) is
// one that the pipeline may run: its command word finds the "validate"
// entry of the command table, as the dispatcher would find it.
//
// Submit queues a line; before it returns it prints every finished line at
// the head of the queue, and it waits while kLinesInFlight lines are
// unprinted. Drain waits for every queued line and prints it; the batch
// runner drains before anything else it prints or runs, so the order of
// everything on standard output and standard error stays that of the
// batch. Drain answers false when a line drained since the previous Drain
// answered a status other than 0.
//
// kLinesInFlight is eight: the daemon runs validations on up to four
// command hosts, two jobs each (vaddaemon/CommandHostBroker.h), so eight
// lines keep every host busy; more only wait longer in the daemon.
//
// The threads start with the first line and are joined by the destructor,
// which drains first. Submit, Drain and the destructor belong to one
// thread (the batch runner's).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "cli/EngineObjects.h"

class ValidateLinePipeline {
 public:
  static constexpr size_t kLinesInFlight = 8;

  ValidateLinePipeline(EngineObjects& engine, const char* programPath, std::ostream& out);
  ~ValidateLinePipeline();
  ValidateLinePipeline(const ValidateLinePipeline&) = delete;
  ValidateLinePipeline& operator=(const ValidateLinePipeline&) = delete;

  static bool Takes(const std::vector<std::string>& args);

  void Submit(const std::vector<std::string>& args);
  bool Drain();

 private:
  struct Line;

  void StartThreads();
  void Work();
  // Prints the finished lines at the head of the queue; `hold` holds the
  // lock, which is let go while a line prints.
  void PrintFinished(std::unique_lock<std::mutex>& hold);
  // Under the lock: true when an unprinted line names the asset of `line`.
  bool NamesAnAssetInFlightLocked(const Line& line) const;

  EngineObjects& engine_;
  const std::string programPath_;
  std::ostream& out_;

  std::mutex lock_;
  std::condition_variable workReady_;  // A line was queued, or the pipeline stops.
  std::condition_variable lineDone_;   // The first line, or one naming waitingToQueue_'s asset, finished.
  std::deque<std::unique_ptr<Line>> lines_;  // Unprinted, in batch order.
  size_t nextToRun_ = 0;                     // Index in lines_ of the first line not taken.
  const Line* waitingToQueue_ = nullptr;     // The line Submit waits to queue, if any.
  bool stopping_ = false;
  bool allSucceeded_ = true;
  std::vector<std::thread> threads_;
};
