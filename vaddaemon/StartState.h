// StartState: the daemon's side of its start record (DaemonStartRecord.h),
// which the tools read while they wait for it.
//
// Only the daemon that holds the store guard (StoreGuard.h) keeps one. It
// opens its UserData folder once and writes every record there (a
// temporary file renamed over "vaddaemon.state", with that folder's device
// and inode), so a folder removed or renamed under it never gets the
// record into the folder made anew, and a copy of the folder is never
// taken for it.
// Starting writes "starting" and runs a thread that writes the progress
// count (NoteStartProgress) every kProgressWriteMs while it grows; Serving,
// Ending and Failed stop that thread and write their stage. A write that
// fails is left: the tools then wait by their own bounds.
//
// NoteStartProgress counts one step of the start's work (a rebuild of the
// index takes one per asset folder), from any thread. For tests, the
// environment variable VADDAEMON_TEST_REBUILD_STEP_MS (0 to 600000) makes
// each step pause that long first, as a large installation would.
// NoteStartFailure keeps the line for the user when a part of the start
// stops for a reason it knows; StartFailure answers the latest ("" when
// none was noted). EntryInTheWay answers what stands at `path` when it
// is not what the store needs there (a regular file, or a folder when
// `folder`): "a folder", "a file", "a symbolic link" or "a special file";
// "" when it is right or nothing is there.
//
// Thread-safe. Nothing throws beyond std::bad_alloc.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "assetdb/protocol/DaemonStartRecord.h"

class StartState {
 public:
  static constexpr uint32_t kProgressWriteMs = 200;

  explicit StartState(const std::string& userDataPath);
  ~StartState();
  StartState(const StartState&) = delete;
  StartState& operator=(const StartState&) = delete;

  void Starting();
  void Serving() { Write(DaemonStartRecord::kServing, std::string()); }
  void Ending() { Write(DaemonStartRecord::kEnding, std::string()); }
  void Failed(const std::string& reason) { Write(DaemonStartRecord::kFailed, reason); }

 private:
  void Write(DaemonStartRecord::Stage stage, const std::string& reason);
  void WriteLocked(DaemonStartRecord::Stage stage, const std::string& reason);
  void StopProgress();
  void WriteProgress();

  int folder_ = -1;
  uint64_t started_ = 0;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread progress_;
};

void NoteStartProgress();
void NoteStartFailure(const std::string& reason);
std::string StartFailure();
std::string EntryInTheWay(const std::string& path, bool folder);
