// DaemonStartWait: a tool's wait for the daemon of its installation while
// that daemon starts or ends, read from the daemon's start record
// (assetdb/protocol/DaemonStartRecord.h).
//
// Look reads the record once and answers what the tool does next:
//   kWait    while the daemon it names runs and is starting (its progress
//            count grew within the last kStallMs) or ending (for at most
//            kEndMs since the tool first saw it ending: the daemon's own
//            bound is 25 s, DaemonServer.h);
//   kGiveUp  when no daemon can serve: the daemon failed to start (the
//            record's line for the user, from a daemon that still runs or
//            from the one this tool launched), a daemon the tool saw
//            starting (or launched) ended before it served, or one stopped
//            making progress or does not end within the bounds above;
//            Reason then answers the line for the user;
//   kConnect otherwise (no record, a daemon that serves, a record left by
//            a daemon that has ended and was not this tool's, or a daemon
//            that started this process: a command host, which the daemon
//            lets in while it ends).
// Wait calls Look every kPollMs while it answers kWait and answers the
// last Look. `launched` is the process id of the daemon this tool started
// last (0: none).
//
// One object per opening, on one thread. Nothing throws beyond
// std::bad_alloc.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "assetdb/protocol/DaemonStartRecord.h"

class DaemonStartWait {
 public:
  static constexpr uint32_t kStallMs = 30000;
  static constexpr uint32_t kEndMs = 35000;
  static constexpr uint32_t kPollMs = 20;

  enum Next { kConnect, kWait, kGiveUp };

  explicit DaemonStartWait(std::string userDataPath) : userData_(std::move(userDataPath)) {}

  Next Look(uint32_t launched);
  Next Wait(uint32_t launched);
  const std::string& Reason() const { return reason_; }

 private:
  using Clock = std::chrono::steady_clock;

  Next LookAtEnded(const DaemonStartRecord& record, uint32_t launched);
  Next LookAtRunning(const DaemonStartRecord& record);
  std::string LogPath() const { return userData_ + "/vaddaemon.log"; }

  const std::string userData_;
  std::string reason_;
  // The running daemon last seen, and when its stage or progress last moved.
  uint32_t pid_ = 0;
  uint64_t started_ = 0;
  DaemonStartRecord::Stage stage_ = DaemonStartRecord::kStarting;
  uint64_t progress_ = 0;
  Clock::time_point movedAt_;
};
