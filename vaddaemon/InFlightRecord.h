// InFlightRecord: the folders of the replacements in flight (AssetStore.h,
// Replacing), kept in a small text file of their own beside the index
// ("<index>.in-flight"), one folder a line: "<place> <device> <inode>
// <name>".
//
// The file is written with plain writes to "<file>.new" and renamed over
// it, never synced: a record must outlive a crash of the daemon, which the
// kernel's copy does, while one lost with the machine can only make a start
// set aside a folder the store made rather than remove it. The index, whose
// commits must be synced, is never touched. When no folder is left the
// file is removed.
//
// One object per store, used from any thread (it holds a mutex of its own;
// callers may hold the index's mutex). Load is for the start, before any
// other call.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "vaddaemon/AssetIndex.h"

class InFlightRecord {
 public:
  explicit InFlightRecord(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  // Adds the file's folders to the record and appends them to `*folders`.
  // A missing file is an empty record; a line that does not read as a
  // folder is dropped (a torn write after a power loss). False, the
  // reason in `*error`, when the file is there but cannot be read.
  bool Load(std::vector<InFlightFolder>* folders, std::string* error);

  // Adds `folders` (replacing any folder of the same place and name) and
  // writes the file. On failure the record and the file are as before and
  // `*error` says why.
  bool Add(const std::vector<InFlightFolder>& folders, std::string* error);

  // Drops `folders` (those of the same place, name and identity) and
  // writes the file, or removes it when nothing is left. On failure the
  // folders are dropped all the same (the next write or start mends the
  // file) and `*error` says why.
  bool Drop(const std::vector<InFlightFolder>& folders, std::string* error);

 private:
  // With mutex_ held: makes the file say what folders_ holds.
  bool Write(std::string* error);

  const std::string path_;
  std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, InFlightFolder> folders_;  // by place, name
};
