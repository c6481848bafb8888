// CapturedLog: collects the lines written to the program log while it lives
// (and keeps them off standard error); the previous sink comes back when it
// dies. Lines arrive without their line end unless `keepLineEnds` is set.
// Safe to write to from several threads.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kiv/Log.h"

namespace VUTest {

class CapturedLog {
 public:
  explicit CapturedLog(bool keepLineEnds = false) {
    old_ = Kiv::Log::SetSink([this, keepLineEnds](std::string_view line) {
      if (!keepLineEnds && !line.empty() && line.back() == '\n') line.remove_suffix(1);
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.emplace_back(line);
    });
  }
  ~CapturedLog() { Kiv::Log::SetSink(std::move(old_)); }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

  // The lines so far; later calls answer only what came after.
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(lines_, {});
  }

  // True when `line` was logged; otherwise the lines are printed.
  bool Holds(const std::string& line) const {
    const std::vector<std::string> lines = Lines();
    if (std::find(lines.begin(), lines.end(), line) != lines.end()) return true;
    for (const std::string& logged : lines) ADD_FAILURE() << "logged: " << logged;
    return false;
  }

 private:
  Kiv::Log::Sink old_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace VUTest
