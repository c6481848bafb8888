// LogCapture: collects the engine log lines written while it lives (from
// any thread), and restores the previous sink when it dies.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kiv/Log.h"

namespace VUTest {

class LogCapture {
 public:
  LogCapture() {
    previous_ = Kiv::Log::SetSink([this](std::string_view line) {
      {
        std::lock_guard<std::mutex> hold(lock_);
        lines_.emplace_back(line);
      }
      logged_.notify_all();
    });
  }
  ~LogCapture() { Kiv::Log::SetSink(previous_); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Whether a line holding `text` was logged, waiting up to `waitMs` for one
  // (lines of other threads may come a little after the event a test saw).
  bool Has(const std::string& text, int waitMs = 0) {
    std::unique_lock<std::mutex> hold(lock_);
    return logged_.wait_for(hold, std::chrono::milliseconds(waitMs), [&] {
      for (const std::string& line : lines_) {
        if (line.find(text) != std::string::npos) return true;
      }
      return false;
    });
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    lines_.clear();
  }

 private:
  Kiv::Log::Sink previous_;
  std::mutex lock_;
  std::condition_variable logged_;
  std::vector<std::string> lines_;
};

}  // namespace VUTest
