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
// the content. CountTreeEntries counts the plain files and folders of a
// tree, itself included (the flushes SyncFolderTree makes), up to one more
// than `limit`, where it stops (fewer when a folder cannot be listed).
// SyncFolder flushes one folder's entries (after a rename in
// it). SyncFileSystemOf flushes everything written to the file system that
// holds `path` (syncfs): one call instead of one flush per file when many
// files are to be made durable (TreeFlush.h); false when the system reports a
// failure. RemoveFolderTree removes a tree without following links; true when
// nothing is left of it (also when it never existed).
//
// The folders the store names itself (asset, edit, taken and staging
// folders, and every folder below them) are never reached through a link:
// each is opened relative to the descriptor of the folder above it with
// O_NOFOLLOW | O_DIRECTORY (OpenStoreFolder), and what is made, moved or
// removed in it is named relative to that descriptor, so a link swapped in
// meanwhile is refused, never followed. The copy makes `target` and its
// folders that way (the source may be named through links); the removal
// removes a link where a folder was, never what it leads to (a tree deeper
// than kMaxFolderDepth, which no copy makes, goes by name below that depth,
// so that a removal holds at most that many descriptors).
// InTheWayText says what lies at such a name in place of a folder, for
// the message that refuses it. HeldFolder keeps such a folder open and
// names it by its descriptor ("/proc/self/fd/N") for readers that take a
// path: what they read is that folder, whatever its name holds meanwhile.
//
// A folder's own permissions are not the store's business: a folder that
// it must fill or empty (a read-only folder an archive left in an edit
// copy) is opened as a WorkFolder, which gives the daemon's user write and
// search permission on it while it is open (when that user owns it and may
// read it; another user's folder keeps its mode, and the work fails as the
// system says) and gives its mode back at the end.
//
// No shared state; nothing throws.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

inline constexpr uint32_t kMaxFolderDepth = 64;

bool CopyFolderTree(const std::string& source, const std::string& target, std::string* error);
bool SyncFolderTree(const std::string& path);
uint64_t CountTreeEntries(const std::string& path, uint64_t limit);
bool SyncFolder(const std::string& path);
bool SyncFileSystemOf(const std::string& path);
bool RemoveFolderTree(const std::string& path);

// Opens the entry `name` of the open folder `parent` (AT_FDCWD: `name` is
// a path) for reading, never through a link: its descriptor (the
// caller's), or -1 with errno set (ENOENT when nothing is there; ENOTDIR or
// ELOOP when a link, file or other entry is in the way).
int OpenStoreFolder(int parent, const std::string& name);
// Opens the folder above `path` (the caller's, named as it is, links and
// all), for naming `path`'s last component (in `*name`) from it: its
// descriptor (the caller's to close), AT_FDCWD for a path of one
// component, or -1 with errno set.
int OpenFolderAbove(const std::string& path, std::string* name);
// "<path> is a link, not a folder of the store's own" (or "is a file", or
// "is neither a folder nor a file"), or "" when a folder or nothing lies
// at `path`. For messages only: it decides nothing.
std::string InTheWayText(const std::string& path);

// A folder opened as OpenStoreFolder opens `path`; Path() names it by its
// descriptor while the HeldFolder lives ("" when it is not open, Error()
// then being the errno). Named() puts `path` back in a text that holds
// Path(), for messages.
class HeldFolder {
 public:
  explicit HeldFolder(const std::string& path);
  ~HeldFolder();
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;
  int Fd() const { return fd_; }
  int Error() const { return error_; }
  const std::string& Path() const { return named_; }
  std::string Named(std::string text) const;

 private:
  std::string path_;
  std::string named_;
  int fd_ = -1;
  int error_ = 0;
};

// A folder opened (OpenStoreFolder) to have entries made, moved or removed
// in it, with the owner's permissions it lacked given while it is open
// (see above). At the end it gets its mode back, or the one SetFinalMode
// asks for (the mode of the folder it copies).
class WorkFolder {
 public:
  WorkFolder(int parent, const std::string& name);
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  int Fd() const { return fd_; }
  int Error() const { return error_; }
  void SetFinalMode(mode_t mode);

 private:
  int fd_ = -1;
  int error_ = 0;
  mode_t finalMode_ = 0;
  bool setMode_ = false;
};

// The entries of the open folder `folder` ("." and ".." aside), each with
// its type and mode as fstatat gives them without following a link (a name
// gone meanwhile is left out): 0, or the errno.
struct FolderEntry {
  std::string name;
  mode_t mode = 0;
};
int ListFolder(int folder, std::vector<FolderEntry>* entries);
