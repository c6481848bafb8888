// FolderTree: copying, flushing and removing the folder trees of assets.
//
// CopyFolderTree(source, target) copies every file and folder below
// `source` into `target`, which it creates (its parent must exist; an
// existing `target` is refused). Only plain files and folders are copied;
// a link to a plain file of the same tree is copied as the file's content.
// A link that leads out of `source` (LeadsOutOfFolder, AssetFolderEntries.h), to a
// folder, a device, a pipe or a socket, a tree deeper than kMaxFolderDepth
// levels, or any read or write failure stops the copy with a message in
// `*error`; the partial target is left for the caller to remove (it is
// always inside a staging or edit folder the caller owns). Files are opened
// without blocking, so a pipe can never hang the copy, and each is read
// from the descriptor it was judged on: entries are opened relative to
// their opened folder without following a link, and a link is opened
// through Kiv::BeneathFolder (kiv/FileBeneath.h), so a link swapped during
// the copy can never carry a file from outside the folder into it.
//
// A copied file keeps its source's access and modification times. It is
// readable and writable by the daemon's user, grants group
// and others no more than its source does, has no execute bits, and is
// subject to the umask like every file of the store. So a file only its
// owner may read never becomes readable by others in the store.
//
// SyncFolderTree flushes every file and folder of a tree to the disk
// (fsync), so that a rename made afterwards cannot reach the disk before
// the content. SyncFolder flushes one folder's entries (after a rename in
// it). SyncFileSystemOf flushes everything written to the file system that
// holds `path` (syncfs): one call instead of one flush per file when many
// trees are to be made durable together; false when the system reports a
// failure. RemoveFolderTree removes a tree without following links; true when
// nothing is left of it (also when it never existed).
//
// No shared state; nothing throws.
#pragma once

#include <cstdint>
#include <string>

inline constexpr uint32_t kMaxFolderDepth = 64;

bool CopyFolderTree(const std::string& source, const std::string& target, std::string* error);
bool SyncFolderTree(const std::string& path);
bool SyncFolder(const std::string& path);
bool SyncFileSystemOf(const std::string& path);
bool RemoveFolderTree(const std::string& path);
