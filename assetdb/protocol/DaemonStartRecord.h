// DaemonStartRecord: what a daemon tells the tools about its start and end,
// in the file "vaddaemon.state" of its UserData folder.
//
// The daemon that holds the store guard writes the record (a temporary
// file renamed over the old one, so a reader sees one whole record or the
// one before): "starting" as its start begins, with a progress count that
// grows as the start works through the store (a rebuild of the index takes
// one step per asset folder); "serving" once it listens; "ending" once it
// has been asked to end (it then finishes the work in hand and takes no new
// connection); "failed" with a line for the user (the file or setting in
// the way and what to do) when its start stopped for a reason it knows.
// The record names the process and the time it started (the 22nd field of
// /proc/<pid>/stat), so that a reader never takes another process that got
// the same id for the daemon, and the device and inode of the UserData
// folder it was written in, so that a record copied with the folder (a
// copy of the installation made while its daemon ran) is never taken for
// the copy's.
//
// Text form, one field per line: the word, the process id, its start time,
// the progress count, the folder's device and inode (one line, a space
// between), then the reason (the rest of the file, "failed" only).
// FormatDaemonStartRecord and ParseDaemonStartRecord are inverse; Parse
// answers false for anything else (the record is then ignored).
//
// ProcessStartTime answers the start time of process `pid`, or 0 when no
// such process runs (a zombie counts as ended). Nothing here throws beyond
// std::bad_alloc; every function is thread-safe.
#pragma once

#include <cstdint>
#include <string>

struct DaemonStartRecord {
  enum Stage { kStarting, kServing, kEnding, kFailed };
  Stage stage = kStarting;
  uint32_t pid = 0;
  uint64_t started = 0;
  uint64_t progress = 0;
  uint64_t device = 0;  // of the UserData folder the record was written in
  uint64_t inode = 0;
  std::string reason;
};

inline constexpr char kDaemonStartRecordName[] = "vaddaemon.state";

std::string FormatDaemonStartRecord(const DaemonStartRecord& record);
bool ParseDaemonStartRecord(const std::string& text, DaemonStartRecord* record);
// Reads the record of the UserData folder `userDataPath`; false when there
// is none, it cannot be read, or it was written in another folder (by
// device and inode: copied with the folder).
bool ReadDaemonStartRecord(const std::string& userDataPath, DaemonStartRecord* record);
uint64_t ProcessStartTime(uint32_t pid);
// Whether the record's process still runs (the same process, not one that
// took its id since).
bool DaemonStartRecordAlive(const DaemonStartRecord& record);
