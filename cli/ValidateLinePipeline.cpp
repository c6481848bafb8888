#include "cli/ValidateLinePipeline.h"

#include <cstdint>
#include <sstream>

#include "assetdb/protocol/ResultsLog.h"
#include "cli/BatchFile.h"
#include "cli/CommandArgs.h"
#include "cli/CommandTable.h"
#include "cli/RunCommand.h"
#include "cli/ValidateAsset.h"
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
  int32_t status = 0;
  bool done = false;  // Under the pipeline's lock.
};

ValidateLinePipeline::ValidateLinePipeline(EngineObjects& engine, const char* programPath,
                                           std::ostream& out)
    : engine_(engine), programPath_(programPath ? programPath : ""), out_(out) {}

ValidateLinePipeline::~ValidateLinePipeline() {
  Drain();
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  workReady_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool ValidateLinePipeline::Takes(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  Kiv::PString word(args[0]);
  word.ToLower();
  // The dispatcher sees the program path in front of the arguments.
  const CommandEntry* entry = FindCommand(word.View(), static_cast<int>(args.size()) + 1);
  return entry != nullptr && entry->run == ValidateCommand;
}

void ValidateLinePipeline::StartThreads() {
  if (!threads_.empty()) return;
  threads_.reserve(kLinesInFlight);
  for (size_t i = 0; i < kLinesInFlight; ++i) threads_.emplace_back([this] { Work(); });
}

void ValidateLinePipeline::Submit(const std::vector<std::string>& args) {
  auto line = std::make_unique<Line>(programPath_.c_str(), args);
  StartThreads();
  std::unique_lock<std::mutex> hold(lock_);
  waitingToQueue_ = line.get();
  for (;;) {
    PrintFinished(hold);
    if (lines_.size() < kLinesInFlight && !NamesAnAssetInFlightLocked(*line)) break;
    lineDone_.wait(hold);
  }
  waitingToQueue_ = nullptr;
  lines_.push_back(std::move(line));
  hold.unlock();
  workReady_.notify_one();
}

bool ValidateLinePipeline::Drain() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    PrintFinished(hold);
    if (lines_.empty()) break;
    lineDone_.wait(hold);
  }
  const bool all = allSucceeded_;
  allSucceeded_ = true;
  return all;
}

void ValidateLinePipeline::PrintFinished(std::unique_lock<std::mutex>& hold) {
  while (!lines_.empty() && lines_.front()->done) {
    std::unique_ptr<Line> line = std::move(lines_.front());
    lines_.pop_front();
    --nextToRun_;
    if (line->status != kCommandSucceeded) allSucceeded_ = false;
    // No worker touches a finished line: it is printed without the lock,
    // and leaves in one write.
    hold.unlock();
    std::ostringstream text;
    PrintBatchLineResults(line->log, text);
    out_ << text.str() << std::flush;
    line.reset();
    hold.lock();
  }
}

bool ValidateLinePipeline::NamesAnAssetInFlightLocked(const Line& line) const {
  for (const std::unique_ptr<Line>& other : lines_) {
    if (!other->done && other->SameAsset(line)) return true;
  }
  return false;
}

void ValidateLinePipeline::Work() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    workReady_.wait(hold, [this] { return stopping_ || nextToRun_ < lines_.size(); });
    if (nextToRun_ >= lines_.size()) return;
    Line& line = *lines_[nextToRun_++];
    hold.unlock();
    line.status = RunCommandGuarded(line.log, engine_, line.command.Argc(), line.command.Argv(),
                                    LostRequestScope::kThisThread);
    hold.lock();
    line.done = true;
    // The batch runner waits for the first unprinted line (to print it and
    // make room) or for a line naming the asset it is about to queue; any
    // other line's end would wake it for nothing.
    const bool awaited = &line == lines_.front().get() ||
                         (waitingToQueue_ != nullptr && waitingToQueue_->SameAsset(line));
    if (!awaited) continue;
    hold.unlock();
    lineDone_.notify_one();
    hold.lock();
  }
}
