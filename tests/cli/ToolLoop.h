// ToolLoop: one command line of the built tool run again and again on a
// thread of its own, as another user of the same installation would run
// it, until Stop (or kMostRuns runs, so that a loop never runs unbounded).
//
// Each run goes through ToolFixture::RunProgram (its own bound per run) and
// is recorded with its start and end. WaitForRuns waits on a condition for
// runs to end (no fixed sleep). Stop lets the run in progress end, joins
// the thread, and leaves the records to read. Every member but the
// constructor, Stop and Records may be called while the loop runs; the
// records only once it has stopped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/ToolFixture.h"

class ToolLoop {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kMostRuns = 2000;

  struct Run {
    ToolResult result;
    Clock::time_point start;
    Clock::time_point end;
    double Seconds() const { return std::chrono::duration<double>(end - start).count(); }
  };

  // `exe` and `workdir`: the fixture's tool and bin folder when empty.
  explicit ToolLoop(std::vector<std::string> args, std::string exe = "", std::string workdir = "")
      : args_(std::move(args)),
        exe_(exe.empty() ? ToolFixture::BinPath() + "/VandruUtil" : std::move(exe)),
        workdir_(workdir.empty() ? ToolFixture::BinPath() : std::move(workdir)) {
    thread_ = std::thread([this] { Loop(); });
  }
  ~ToolLoop() { Stop(); }
  ToolLoop(const ToolLoop&) = delete;
  ToolLoop& operator=(const ToolLoop&) = delete;

  int Runs() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return static_cast<int>(runs_.size());
  }
  // True once `count` runs have ended; false after `timeoutMs`.
  bool WaitForRuns(int count, int timeoutMs) {
    std::unique_lock<std::mutex> hold(mutex_);
    return ended_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] {
      return static_cast<int>(runs_.size()) >= count || done_;
    }) && static_cast<int>(runs_.size()) >= count;
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      stop_ = true;
    }
    if (thread_.joinable()) thread_.join();
  }
  const std::vector<Run>& Records() const { return runs_; }

 private:
  void Loop() {
    for (int i = 0; i < kMostRuns; ++i) {
      {
        std::lock_guard<std::mutex> hold(mutex_);
        if (stop_) break;
      }
      Run run;
      run.start = Clock::now();
      run.result = ToolFixture::RunProgram(exe_, args_, workdir_);
      run.end = Clock::now();
      std::lock_guard<std::mutex> hold(mutex_);
      runs_.push_back(std::move(run));
      ended_.notify_all();
    }
    std::lock_guard<std::mutex> hold(mutex_);
    done_ = true;
    ended_.notify_all();
  }

  const std::vector<std::string> args_;
  const std::string exe_;
  const std::string workdir_;
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  std::vector<Run> runs_;
  bool stop_ = false;
  bool done_ = false;
  std::thread thread_;
};
