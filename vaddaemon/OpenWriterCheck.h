// OpenWriterCheck: whether another program still holds a file of a folder
// open for writing, so that a commit never installs a file half-written.
//
// A commit takes the edit folder by moving its files and removing it
// (AssetStore.h), so a program that opens a file there afterwards fails;
// but one that opened a file before keeps writing through its descriptor
// into the moved file, and a copy made meanwhile holds only the lines
// written so far. The commit asks before the take (and refuses with
// nothing moved) and again in the taken folder (for a file opened between).
// RefuseFilesOpenForWriting looks at every plain file below `folder` (links
// are not followed; a link within the tree is looked at as its target's own
// entry) and asks the system for a read lease on it (fcntl F_SETLEASE
// F_RDLCK on a descriptor opened for reading), which Linux refuses with
// EAGAIN while any process has the file open for writing (or mapped shared
// and writable); a lease granted is given up at once. The first file found
// open for writing fails the result (kIoError) with a message naming its
// path: "the file <folder>/<name> is open for writing in another program:
// close it, then commit again".
//
// Where the system cannot tell (a file system without leases, or leases
// turned off: EINVAL; a file of another user without CAP_LEASE: EACCES or
// EPERM; a file that cannot be opened for reading), the file is taken as it
// is, as before this check, and the daemon's log says which file could not
// be checked (once per call): refusing would block every commit on such a
// file system. Root may lease any file, so a daemon run as root tells
// another user's open file too.
//
// A program that opens the file for writing while the lease is held breaks
// it with SIGIO to this process, whose default action ends it: the first
// call sets SIGIO to be ignored, unless the process already handles it. A failure to list the folder is left to the copy that
// follows, which reports it.
//
// No shared state; nothing throws; any thread.
#pragma once

#include <string>

#include "vaddaemon/StoredAsset.h"

StoreResult RefuseFilesOpenForWriting(const std::string& folder);
