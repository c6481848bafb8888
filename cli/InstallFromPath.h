// The "installfrompath" command: installs every asset folder found under a
// folder.
//
// InstallFromPath(folder, log, mode, out, callback) walks `folder`:
//   - an empty path gives 0;
//   - a folder that holds "config.txt", or else "config.chump", is sent for
//     installing as a whole and counts 1 whatever the outcome; its
//     sub-folders are not looked into. With a callback each such folder
//     is sent as it is found (InstallFolder, request 0x27, with the same
//     mode, out bool and callback); without one, the folders are sent in
//     the walk's order up to 256 in a request (InstallFolders, request
//     0x29, which the daemon makes durable together), the last ones once
//     the walk ends. The messages are the same either way, in that order;
//     the out bool ends as the last folder's;
//   - otherwise every entry of the folder is walked in name order and the
//     counts are added up. A file has no entries and counts 0.
// After each entry the walk stops early when `callback` also derives from
// InstallWalkStopFlag and its `stop` byte is set. A folder that the walk has
// already entered (through a symbolic link that loops back, or a second
// link to the same asset folder) is not entered again, so the walk always
// ends and sends each folder once. Answers the number of folders sent for
// installing.
//
// InstallFromPathCommand is the command word: slot 2 is the folder, used as
// typed (relative to the start-up directory). Without it the error "Missing
// input path parameter." is added; when the path does not exist, "Invalid
// input path."; when it is not a folder, "The input path is not a folder.";
// each gives -1. Otherwise it walks with install mode 0, an out bool that
// starts false and no callback: status 0 when at least one folder was sent
// (the daemon reports each install's outcome), else -1 with the error "No
// asset folder (one holding config.txt or config.chump) was found in the
// input path."
#pragma once

#include <cstdint>

#include "kiv/String.h"

class ResultsLog;
class VADTransactionCallback;

// Mixed into a transaction callback to end a folder walk early.
class InstallWalkStopFlag {
 public:
  virtual ~InstallWalkStopFlag() = default;
  uint8_t stop = 0;
};

uint32_t InstallFromPath(const Kiv::String& folder, ResultsLog& log, uint32_t mode, bool& out,
                         VADTransactionCallback* callback);
