// ValidateLinePipeline: runs consecutive "validate" lines of a batch file
// with several of them in flight, and prints their results exactly as a
// one-by-one run would.
//
// A validation is a chain of daemon round trips (handle, open, record,
// validation, release) whose own work is small, so a batch of them is
// bound by waiting. The pipeline overlaps the chains of up to
// kLinesInFlight lines on the calling thread itself: each line's chain
// (cli/ValidateAssetSteps.h) runs into a ResultsLog of its own, all chains
// share one done signal, and whenever the thread would wait it sleeps once
// on that signal, then takes every reply that is in and sends each chain's
// next request. No other thread is involved but the client's reader, and a
// reply costs no hand-over between threads of the pipeline. A line's end is
// judged as the dispatcher judges a command's: the chain's answer gives
// status 0 or -1. When the daemon goes away (killed, or closing: a closing
// daemon leaves the validations it has not finished unanswered and drops
// the connection), every line in flight loses a request. As in a
// one-by-one run, where only the line then in flight meets the daemon's
// end, one line fails for it: the first whose chain is seen to have lost
// it adds "$vad_connection_lost" after its own messages and its status is
// -1. Every other line that lost that daemon runs again from its start
// with the next daemon, found as RunBatchFile finds one for a line, and
// prints what that run finds (the lost run's messages are dropped); when
// no daemon is found, it fails as the first did. A line without a KUID
// runs through the dispatcher at once (it asks the daemon nothing). The
// chains run inside the exception guard, as RunCommandGuarded runs a
// command. The logs are printed in line order,
// each followed by one more line end, as the batch runner prints a line it
// runs itself (each line's text leaves in one write). The requests of one
// line are made in the same order as ever; two lines that name the same
// asset (same user and content id, whatever the version) never run at once:
// the later one starts when the earlier one has ended.
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
// kLinesInFlight is thirty-two: the daemon runs validations on up to eight
// command hosts, two jobs each (vaddaemon/CommandHostBroker.h), and a line
// spends only part of its time in that job (one of its four requests), so
// twice the sixteen job slots keep every host busy; more only wait longer
// in the daemon. Lines in flight cost the tool no thread of their own.
//
// Every wait is for a daemon reply, which comes or fails with the
// connection. The destructor drains. Submit, Drain and the destructor
// belong to one thread (the batch runner's).
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "assetdb/client/ReplySignal.h"
#include "cli/EngineObjects.h"

class ValidateAssetSteps;

class ValidateLinePipeline {
 public:
  static constexpr size_t kLinesInFlight = 32;

  ValidateLinePipeline(EngineObjects& engine, const char* programPath, std::ostream& out);
  ~ValidateLinePipeline();
  ValidateLinePipeline(const ValidateLinePipeline&) = delete;
  ValidateLinePipeline& operator=(const ValidateLinePipeline&) = delete;

  static bool Takes(const std::vector<std::string>& args);

  void Submit(const std::vector<std::string>& args);
  bool Drain();

 private:
  struct Line;

  // Starts a line's chain (or runs a line without a KUID).
  void Begin(Line& line);
  void StartChain(Line& line);
  // For a line whose chain lost its daemon: unless it is the first line to
  // find that daemon gone, and when the next daemon is found
  // (VADClient::Reconnect), starts it anew with an empty log and answers
  // true.
  bool RunAgainWithNextDaemon(Line& line);
  // Takes every reply that is in; with `wait`, when none was, first sleeps
  // until one comes. Then prints the finished lines at the head.
  void Pump(bool wait);
  // Advances the chain of every line whose reply is in; true when any was.
  bool AdvanceReady();
  // Runs `step` of `line`'s chain inside the exception guard; marks the
  // line done when the chain has ended.
  void Step(Line& line, void (*step)(ValidateAssetSteps&));
  void PrintFinished();
  // True when an unfinished line names the asset of `line`.
  bool NamesAnAssetInFlight(const Line& line) const;

  EngineObjects& engine_;
  const std::string programPath_;
  std::ostream& out_;
  const std::shared_ptr<ReplySignal> replyIn_;  // Set when a reply of any chain came in.
  std::deque<std::unique_ptr<Line>> lines_;     // Unprinted, in batch order.
  bool allSucceeded_ = true;
  uint64_t daemonsLost_ = 0;  // Daemons whose loss a line has failed for.
};
