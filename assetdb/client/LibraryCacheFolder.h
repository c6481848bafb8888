// LibraryCacheFolder: the compiled-script cache's folder
// (UserData/cache/libraries), held open, and its entries, each named
// relative to it.
//
// The cache's folders ("cache" and "libraries") are names the store makes:
// Open(userData) opens the user-data root (the user's choice of where it
// lies, so a link there is followed), then each of the two below it
// relative to the one above, making it when missing, with O_NOFOLLOW |
// O_DIRECTORY. So a link at either name is never followed, nor one swapped
// in later: every entry is read, written and removed relative to the
// folder's descriptor, and nothing outside UserData is ever written.
//
// What Open does with something else at one of those names: it leaves it
// as it is (the cache did not make it, so it neither removes nor moves
// it), logs what is wrong, naming the cache folder ("ScriptLibraryCache>
// the compiled-script cache '<path>' cannot be used (<reason>); scripts
// are compiled without it", once per process while the reason stays the
// same) and answers false. The reasons: "it is not a folder" (a file, a
// pipe), "it is a link that leads nowhere", "it is a link, which the cache
// does not follow" (a link to a folder, at the cache folder's name),
// "'<UserData>/cache' is a link, which the cache does not follow", "it
// cannot be reached: <system's reason>" (a file on its path, a folder that
// cannot be searched) and "it cannot be written: <system's reason>". Its
// caller then compiles in memory: a cache that cannot be used costs a
// compile, never an answer.
//
// Entries (names without "/", the cache's own):
// - ReadEntry(name, limit, bytes): opens the entry as a regular file only,
//   without following a link and without waiting (a pipe is refused at
//   once), and reads it whole when it holds 1..limit bytes. kRead, kMissing
//   (nothing of that name), kTooLarge (its size in `*size`), kRefused
//   (anything else: a link, a folder, a pipe, an empty or short file).
// - WriteEntry(name, data, size): writes a new file beside the entry
//   ("<name>.<pid>-<n>.tmp", made exclusively, never through a link),
//   flushes it to the disk and renames it over the entry; false (the
//   temporary file removed, the entry as it was) on any failure.
// - RemoveEntry(name): removes what lies at the name: a file, a pipe, a
//   link (never followed), a folder with everything below it (links inside
//   removed as links).
// - Remover(name): what removes the file at the name later, relative to
//   this folder even once the object has ended (it holds a descriptor of
//   its own): a job's commit is taken back with it (JobDeadline.h).
//
// Ownership: the object owns the descriptor (closed when it ends); not
// copyable. Threads: one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "kiv/String.h"

class LibraryCacheFolder {
 public:
  enum class Entry { kRead, kMissing, kTooLarge, kRefused };

  LibraryCacheFolder() = default;
  ~LibraryCacheFolder();
  LibraryCacheFolder(const LibraryCacheFolder&) = delete;
  LibraryCacheFolder& operator=(const LibraryCacheFolder&) = delete;

  bool Open(const Kiv::String& userData);
  bool IsOpen() const { return fd_ >= 0; }
  // "<userData>/cache/libraries", also when it could not be opened.
  const Kiv::String& Path() const { return path_; }
  Kiv::String EntryPath(const Kiv::String& name) const { return path_ + "/" + name; }

  Entry ReadEntry(const Kiv::String& name, int64_t limit, std::vector<uint8_t>* bytes,
                  int64_t* size) const;
  bool WriteEntry(const Kiv::String& name, const void* data, size_t size) const;
  void RemoveEntry(const Kiv::String& name) const;
  std::function<void()> Remover(const Kiv::String& name) const;

 private:
  int fd_ = -1;
  Kiv::String path_;
};
