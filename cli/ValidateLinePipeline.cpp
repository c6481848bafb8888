#include "cli/ValidateLinePipeline.h"

#include <cstdint>
#include <optional>
#include <sstream>

#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/BatchFile.h"
#include "cli/CommandArgs.h"
#include "cli/CommandTable.h"
#include "cli/Dispatcher.h"
#include "cli/RunCommand.h"
#include "cli/ValidateAsset.h"
#include "cli/ValidateAssetSteps.h"
#include "foundation/threads/CallGuarded.h"
#include "foundation/threads/TCXCallbackBase.h"
#include "kiv/PString.h"

struct ValidateLinePipeline::Line {
  Line(const char* programPath, const std::vector<std::string>& args)
      : command(programPath, args), asset(FirstArgumentKUID(command.Argc(), command.Argv())) {}

  bool SameAsset(const Line& other) const {
    return asset.userId == other.asset.userId && asset.contentId == other.asset.contentId;
  }

  BatchCommandLine command;
  const KUID asset;
  ResultsLog log;
  std::optional<ValidateAssetSteps> steps;
  int32_t status = 0;
  uint64_t daemonsLost = 0;  // The pipeline's count when the chain started.
  bool done = false;
};

namespace {

// One step of a line's chain, as a guarded call.
class StepCall : public TCXCallbackBase {
 public:
  StepCall(void (*step)(ValidateAssetSteps&), ValidateAssetSteps& steps)
      : step_(step), steps_(steps) {}
  int Invoke(void* /*argument*/) override {
    step_(steps_);
    return 0;
  }

 private:
  void (*step_)(ValidateAssetSteps&);
  ValidateAssetSteps& steps_;
};

void StartSteps(ValidateAssetSteps& steps) {
  steps.Start();
}

void AdvanceSteps(ValidateAssetSteps& steps) {
  steps.Advance();
}

}  // namespace

ValidateLinePipeline::ValidateLinePipeline(EngineObjects& engine, const char* programPath,
                                           std::ostream& out)
    : engine_(engine),
      programPath_(programPath ? programPath : ""),
      out_(out),
      replyIn_(std::make_shared<ReplySignal>()) {}

ValidateLinePipeline::~ValidateLinePipeline() {
  Drain();
}

bool ValidateLinePipeline::Takes(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  Kiv::PString word(args[0]);
  word.ToLower();
  // The dispatcher sees the program path in front of the arguments.
  const CommandEntry* entry = FindCommand(word.View(), static_cast<int>(args.size()) + 1);
  return entry != nullptr && entry->run == ValidateCommand;
}

void ValidateLinePipeline::Submit(const std::vector<std::string>& args) {
  auto line = std::make_unique<Line>(programPath_.c_str(), args);
  Pump(false);
  while (lines_.size() >= kLinesInFlight || NamesAnAssetInFlight(*line)) Pump(true);
  lines_.push_back(std::move(line));
  Begin(*lines_.back());
}

bool ValidateLinePipeline::Drain() {
  PrintFinished();
  while (!lines_.empty()) Pump(true);
  const bool all = allSucceeded_;
  allSucceeded_ = true;
  return all;
}

void ValidateLinePipeline::Begin(Line& line) {
  if (!HasFirstArgument(line.command.Argc(), line.command.Argv())) {
    line.status = RunCommandGuarded(line.log, engine_, line.command.Argc(), line.command.Argv());
    line.done = true;
    return;
  }
  // A daemon that went away is found again, as RunBatchFile does per line.
  VADClient::Reconnect();
  StartChain(line);
}

void ValidateLinePipeline::StartChain(Line& line) {
  line.daemonsLost = daemonsLost_;
  line.steps.emplace(line.asset, line.log, replyIn_);
  Step(line, StartSteps);
}

void ValidateLinePipeline::Step(Line& line, void (*step)(ValidateAssetSteps&)) {
  SetExceptionGuardFlag(true);
  StepCall call(step, *line.steps);
  CallGuarded(&call, nullptr);
  if (!line.steps->Finished()) return;
  line.status = line.steps->Looked() ? kCommandSucceeded : kCommandFailed;
  const bool lost = line.steps->LostRequests() != 0;
  line.steps.reset();
  if (lost && RunAgainWithNextDaemon(line)) return;
  if (lost) line.status = EndCommandAfterLostDaemon(line.log, line.status);
  line.done = true;
}

bool ValidateLinePipeline::RunAgainWithNextDaemon(Line& line) {
  if (line.daemonsLost == daemonsLost_) {
    // The first line to find this daemon gone is the one in flight.
    ++daemonsLost_;
    return false;
  }
  if (!VADClient::Reconnect()) return false;
  // What the lost run was told goes: the line prints what its new run finds.
  ResultsLog empty;
  line.log.Assign(empty);
  StartChain(line);
  return true;
}

void ValidateLinePipeline::Pump(bool wait) {
  // Cleared before the chains are looked at: a reply that comes in after
  // the look sets it again, so the wait below never misses one.
  replyIn_->Reset();
  if (!AdvanceReady() && wait) {
    // Every unfinished line has a request on the wire.
    replyIn_->Wait();
    AdvanceReady();
  }
  PrintFinished();
}

bool ValidateLinePipeline::AdvanceReady() {
  bool any = false;
  for (const std::unique_ptr<Line>& line : lines_) {
    if (line->done || !line->steps->Ready()) continue;
    Step(*line, AdvanceSteps);
    any = true;
  }
  return any;
}

void ValidateLinePipeline::PrintFinished() {
  while (!lines_.empty() && lines_.front()->done) {
    std::unique_ptr<Line> line = std::move(lines_.front());
    lines_.pop_front();
    if (line->status != kCommandSucceeded) allSucceeded_ = false;
    // Each line's text leaves in one write.
    std::ostringstream text;
    PrintBatchLineResults(line->log, text);
    out_ << text.str() << std::flush;
  }
}

bool ValidateLinePipeline::NamesAnAssetInFlight(const Line& line) const {
  for (const std::unique_ptr<Line>& other : lines_) {
    if (!other->done && other->SameAsset(line)) return true;
  }
  return false;
}
