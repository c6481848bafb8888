#include "assetdb/client/DaemonStartWait.h"

#include <unistd.h>

#include <thread>

DaemonStartWait::Next DaemonStartWait::Look(uint32_t launched) {
  DaemonStartRecord record;
  if (!ReadDaemonStartRecord(userData_, &record)) return kConnect;
  if (!DaemonStartRecordAlive(record)) return LookAtEnded(record, launched);
  return LookAtRunning(record);
}

DaemonStartWait::Next DaemonStartWait::Wait(uint32_t launched) {
  Next next = Look(launched);
  while (next == kWait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    next = Look(launched);
  }
  return next;
}

DaemonStartWait::Next DaemonStartWait::LookAtEnded(const DaemonStartRecord& record,
                                                   uint32_t launched) {
  const bool watched = record.pid == pid_ && record.started == started_;
  // A launched daemon that still runs is another process than the one the
  // record names (its id taken again).
  const bool ours = record.pid == launched && ProcessStartTime(launched) == 0;
  if (!ours && !watched) return kConnect;
  if (record.stage == DaemonStartRecord::kFailed) {
    reason_ = record.reason;
    return kGiveUp;
  }
  if (record.stage != DaemonStartRecord::kStarting) return kConnect;
  reason_ = "The asset-database daemon (process " + std::to_string(record.pid) +
            ") ended during its start without saying why: see the last lines of '" + LogPath() +
            "'.";
  return kGiveUp;
}

DaemonStartWait::Next DaemonStartWait::LookAtRunning(const DaemonStartRecord& record) {
  // A process the daemon started (a command host) serves it: the daemon
  // lets it in while it ends.
  if (record.stage == DaemonStartRecord::kServing || record.pid == uint32_t(::getppid()))
    return kConnect;
  if (record.stage == DaemonStartRecord::kFailed) {
    reason_ = record.reason;
    return kGiveUp;
  }
  const Clock::time_point now = Clock::now();
  if (record.pid != pid_ || record.started != started_ || record.stage != stage_ ||
      record.progress != progress_) {
    pid_ = record.pid;
    started_ = record.started;
    stage_ = record.stage;
    progress_ = record.progress;
    movedAt_ = now;
    return kWait;
  }
  const std::string process = "The asset-database daemon (process " + std::to_string(pid_) + ")";
  if (stage_ == DaemonStartRecord::kStarting &&
      now - movedAt_ >= std::chrono::milliseconds(kStallMs)) {
    reason_ = process + " has made no progress in its start for " +
              std::to_string(kStallMs / 1000) +
              " seconds: end it by its process id, and see the last lines of '" + LogPath() + "'.";
    return kGiveUp;
  }
  if (stage_ == DaemonStartRecord::kEnding && now - movedAt_ >= std::chrono::milliseconds(kEndMs)) {
    reason_ = process + " has not ended " + std::to_string(kEndMs / 1000) +
              " seconds after it was asked to: end it by its process id, then run the command "
              "again.";
    return kGiveUp;
  }
  return kWait;
}
