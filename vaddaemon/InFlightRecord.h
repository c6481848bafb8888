// InFlightRecord: the folders of the replacements in flight (AssetStore.h,
// Replacing), kept in a small text file of their own beside the index
// ("<index>.in-flight"), one folder a line: "<place> <device> <inode>
// born=<birth time> <name>", the birth time in nanoseconds (statx
// STATX_BTIME). A line without it (written by an older daemon, or for a
// folder whose file system keeps no birth time) still reads, as a folder
// whose identity nothing proves (born == 0). The record ends at the first
// NUL byte (or at the end of the file): what follows it is left over from
// a longer record before.
//
// The file is overwritten in place with one plain write and never synced,
// renamed, cut or removed while the daemon runs: a record must outlive a
// crash of the daemon, which the kernel's copy does, while one lost or torn
// with the machine can only make a start set aside a folder the store made
// rather than remove it (a start removes a recorded folder only while it
// stands with the recorded identity). Overwriting blocks the file already
// has leaves the file system nothing to flush before the index's next
// synced commit, so a replacement costs no more than a first install. The
// index, whose commits must be synced, is never touched. A record that
// holds nothing is a file that begins with a NUL byte (or no file).
//
// The file is the store's own or not used at all: it is opened as
// OpenOwnFile (foundation/base/OwnFile.h) opens a file, never through a
// link and never waiting, and used only as a regular file of the daemon's
// user. Anything else at its name (a link, a folder, a pipe, another
// user's file), or a record longer than kMaxBytes, which the store never
// writes, fails Load and every write with the reason.
//
// One object per store, used from any thread (it holds a mutex of its own;
// callers may hold the index's mutex). Load is for the start, before any
// other call.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "vaddaemon/AssetIndex.h"

class InFlightRecord {
 public:
  // The longest record the store writes or reads (its lines, without the
  // NUL byte that ends it).
  static constexpr size_t kMaxBytes = size_t{1} << 20;

  explicit InFlightRecord(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  // Adds the file's folders to the record and appends them to `*folders`.
  // A missing file is an empty record; a line that does not read as a
  // folder is dropped (a torn write after a power loss). False, the
  // reason in `*error` and nothing added, when the file is there but
  // cannot be read, is not the store's own (above) or is too long.
  bool Load(std::vector<InFlightFolder>* folders, std::string* error);

  // Adds `folders` (replacing any folder of the same place and name) and
  // writes the file. On failure the record is as before, `*error` says why,
  // and the file may hold part of the write; the next write mends it, and
  // a start meanwhile removes no folder the record does not name with its
  // identity.
  bool Add(const std::vector<InFlightFolder>& folders, std::string* error);

  // Drops `folders` (those of the same place, name and identity) and,
  // unless it dropped none, writes the file (a lone NUL byte when nothing
  // is left). On failure the folders are dropped all the same (the next
  // write or start mends the file) and `*error` says why.
  bool Drop(const std::vector<InFlightFolder>& folders, std::string* error);

 private:
  // With mutex_ held: makes the file say what folders_ holds.
  bool Write(std::string* error);

  const std::string path_;
  std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, InFlightFolder> folders_;  // by place, name
};
