// RenameAtNoReplace: a rename that never replaces what stands at its new
// name.
//
// RenameAtNoReplace(fromFolder, from, toFolder, to) renames the entry
// `from` of the open folder `fromFolder` to `to` of `toFolder` (AT_FDCWD
// and paths work as for renameat) unless `to` exists: 0, or the errno
// (EEXIST when `to` exists). A file system that refuses RENAME_NOREPLACE
// (EINVAL) gets a new link and the old name's removal instead, which never
// replaces an entry either; a process ended between the two leaves the
// file under both names.
//
// Async-signal-safe: renameat2, linkat and unlinkat only. No shared state;
// the caller's errno is left as the call leaves it.
#pragma once

int RenameAtNoReplace(int fromFolder, const char* from, int toFolder, const char* to);
