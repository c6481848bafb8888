// SyncedWrites: the synced writes (fsync, fdatasync, syncfs,
// sync_file_range) of this test program, counted where they are made. The
// program defines those functions itself, so that every call of the
// process (the store's and SQLite's) comes here, is counted and then made
// as the system call; a test may make the next syncfs, or every fsync of
// the files and folders of one name, fail with EIO instead, as a disk that
// cannot write would. Flushed files and folders are told by device and
// inode, which a rename keeps.
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
// Every fsync of a file or folder called `name` fails, until ClearFaults.
void FailFlushesOf(const std::string& name);
void ClearFaults();

}  // namespace syncedwrites
