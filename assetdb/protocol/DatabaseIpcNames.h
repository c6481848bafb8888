// The names under which processes of one asset database meet.
//
// FormDatabaseIpcNames checks the asset index path and derives:
//  - folder: the path less its last 11 characters (the separator and
//    "assets.tdx"). The path must end in "assets.tdx" (in any case) right
//    after a "/" or "\"; otherwise false and `*out` is unchanged. The folder
//    keeps its case: the file system tells folders apart by case, so two
//    folders that differ only in case get two blocks.
//  - mutexName: "09731AC6-B611-4e2a-B181-578073F64F24" joined with the folder
//    (Kiv::File::Path::AddPath), backslashes turned to "/".
//  - sharedName: mutexName joined with "-ipc2".
//  - posixLockName, posixSharedName: the POSIX shared-memory object names of
//    the lock object (mutexName + ".lock") and of the block (sharedName), made
//    valid by EscapePosixIpcName.
// Every process that shares a block must form the names with this code.
//
// EscapePosixIpcName(name, suffix) answers "/" followed by `name` with every
// byte other than A-Z, a-z, 0-9, "-", "_" and "." written as "%XX" (upper-case
// hex), then `suffix` (which must itself be valid). So the result has exactly
// one "/", at its start. When that would be longer than kMaxPosixNameLength
// bytes, the escaped text is cut to leave room and "~" plus the 16 hex digits
// of the FNV-1a 64-bit hash of the whole `name` are put before the suffix.
#pragma once

#include <cstddef>
#include <string_view>

#include "kiv/File.h"
#include "kiv/String.h"

struct DatabaseIpcNames {
  Kiv::File::Path folder;
  Kiv::String mutexName;
  Kiv::String sharedName;
  Kiv::String posixLockName;
  Kiv::String posixSharedName;
};

constexpr size_t kMaxPosixNameLength = 250;

bool FormDatabaseIpcNames(const Kiv::File::Path& assetIndexPath, DatabaseIpcNames* out);
Kiv::String EscapePosixIpcName(std::string_view name, std::string_view suffix);
