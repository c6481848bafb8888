// SyncedWrites: the synced writes (fsync, fdatasync, syncfs,
// sync_file_range) of this test program, counted where they are made. The
// program defines those functions itself, so that every call of the
// process (the store's and SQLite's) comes here, is counted and then made
// as the system call; a test may make the next syncfs, or every fsync of
// one folder, fail with EIO instead, as a disk that cannot write would.
// Files and folders are told by device and inode, which a rename keeps.
//
// For single-threaded tests: the counts and faults are process-wide.
#pragma once

#include <cstdint>
#include <string>

namespace syncedwrites {

// Synced writes made since the program started, and the syncfs among them.
uint64_t Count();
uint64_t FileSystemFlushes();
// Whether the file or folder at `path` was flushed by fsync or fdatasync.
bool Flushed(const std::string& path);
void FailNextFileSystemFlush();
// Every fsync of the folder at `path` fails, until ClearFaults.
void FailFlushesOf(const std::string& path);
void ClearFaults();

}  // namespace syncedwrites
