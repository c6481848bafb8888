// SyncedWrites: the synced writes (fsync, fdatasync, syncfs,
// sync_file_range) this test program makes, counted where they are made.
// The program defines those four functions itself, so that every call of
// the process (the store's and SQLite's) comes here, is counted and then
// made as the system call; a test may make the next flush of a file system,
// or every flush of one folder, fail with EIO instead, as a disk that
// cannot write would (the call is then not made).
//
// For single-threaded tests: the counts and faults are process-wide.
#pragma once

#include <cstdint>
#include <string>

namespace syncedwrites {

// Synced writes made since the program started, and the flushes of a
// whole file system (syncfs) among them.
uint64_t Count();
uint64_t FileSystemFlushes();
// Whether the file or folder at `path` (not followed when a link) was
// flushed with fsync or fdatasync since the program started (told by its
// device and inode, which a rename keeps).
bool Flushed(const std::string& path);
// The next syncfs fails (once).
void FailNextFileSystemFlush();
// Every fsync of the folder at `path` (its real path) fails; "" for none.
void FailFlushesOf(const std::string& path);
// No fault is armed any more.
void ClearFaults();

}  // namespace syncedwrites
