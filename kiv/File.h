// Files, paths, folder listings and named file roots.
//
// Kiv::File is one open file. Open modes are bit sets:
//   kRead (0x10) or kReadAlt (0x20)  read access
//   any of kWriteMask (0x0F)         write access
//   kCreate (0x100)                  create the file, or empty an existing one
//   0x200                            no meaning of its own (kept for callers)
//   kRegularOnly (0x1000)            a regular file only (see below)
//   kOwnerOnly (0x2000)              with kCreate: the file is readable and
//                                    writable by its owner alone (mode
//                                    0600), an existing one narrowed to
//                                    that before anything is written
//   kExactCase (0x4000)              the path exactly as given: no
//                                    component is looked up in another
//                                    case (see "Case" below)
// So 0x10 and 0x20 open an existing file for reading; 0x101, 0x301, 0x302
// and 0x30F create or empty a file for writing; 0x11 opens an existing file
// for reading and writing without emptying it. kCreate implies write access
// (0x121 creates or empties a file for reading and writing); a mode with no
// access bit at all fails. Folders are never opened as files. Descriptors
// are opened close-on-exec. With kRegularOnly, for content whose reader
// must never wait, the open does not wait for the other end of a pipe, and
// anything but a regular file (pipe, device, socket) is refused. Such a file
// keeps the non-waiting flag it was opened with, which reading and writing a
// regular file ignore; on a file system that honours it, the first transfer
// that would wait clears it and goes on, so no transfer is cut short.
// Creating (kCreate) opens a regular file only, the same way, and never
// through a link at the file's own name: a link planted there (on the
// temporary name of a save, say) makes the open fail instead of writing
// wherever it leads.
//
// A file opened for reading below a folder that a Kiv::ConfinedFolder
// guards is opened through it (FileConfinement.h): never through a link
// that leads out of that folder, never a pipe, socket or device.
//
// Named file roots: File::Subst(name, folder) registers a root; the two-part
// forms of Open and Exists resolve (root, name) to `folder/name`. An empty
// root means the plain file system. A name that comes with a root must stay
// inside it: a rooted name, or one whose ".." climbs out, is refused.
//
// Case: paths keep the case the caller gives. When a path does not exist with
// its exact case, opening an existing file (any mode without kCreate),
// Exists, IsDirectory, FileSize and Find::First look each missing component
// up without regard to case in its folder (File::Find::ResolveCase); an exact
// match always wins. Creating a file keeps the file's own name exactly, but
// a folder of its path that is missing with that case is looked up the same
// way, so a new file lands beside the content it belongs to. Md, Rename,
// Unlink and Prune act on the exact path only.
//
// Names the program makes itself (the compiled-script cache's files, say)
// are looked up exactly: kExactCase for Open, NameCase::kExact for Exists,
// IsDirectory and FileSize. Such a lookup never lists a folder, so its cost
// does not grow with the folder (a cache of many thousand files), and a file
// someone put there under the name in another case is not taken for it. A
// read below a confined folder honours kExactCase too; so does creating a
// file (its folder is then not looked up in another case either).
//
// Separators: "/" is the platform's; names that come from content may use
// "\" and are turned to "/" by Path::ReplaceForwardSlashes (ResolveRooted
// does so itself). Path's own operations take both apart alike.
//
// Threads: a File or Find object belongs to one thread at a time; the table
// of named roots is process-wide and safe to use from any thread.
//
// Position: a regular file keeps its position in the object (the descriptor
// is never shared), so Tell and a zero move from the current position ask
// the system nothing; other files (pipes, devices) ask it each time.
//
// Nothing here throws; failures are results.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "kiv/PString.h"
#include "kiv/String.h"

namespace Kiv {

class File {
 public:
  static constexpr uint32_t kRead = 0x10;
  static constexpr uint32_t kReadAlt = 0x20;
  static constexpr uint32_t kWriteMask = 0x0F;
  static constexpr uint32_t kCreate = 0x100;
  static constexpr uint32_t kRegularOnly = 0x1000;
  static constexpr uint32_t kOwnerOnly = 0x2000;
  static constexpr uint32_t kExactCase = 0x4000;

  // How Exists, IsDirectory and FileSize look a path up: kAnyCase finds
  // components missing with the case given in another case; kExact takes
  // the path as given.
  enum class NameCase { kAnyCase, kExact };

  class Path;
  class Find;

  File();
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path` with `mode`; the last argument is unused. Closes a file
  // already open first. True when the file is open.
  bool Open(const String& path, uint32_t mode, uint32_t reserved = 0);
  // Opens `name` under the named file root `root` (the plain file system
  // when `root` is empty).
  bool Open(const PString& root, const String& name, uint32_t mode, uint32_t reserved = 0);
  // False when the system reports an error on closing (data written may
  // not have reached the file); the file is closed either way.
  bool Close();
  bool IsValid() const { return fd_ >= 0; }

  // Transfer size * count bytes; answer the number of bytes moved (fewer at
  // the end of the file or on an error).
  uint32_t Read(void* dst, uint32_t size, uint32_t count = 1);
  uint32_t Write(const void* src, uint32_t size, uint32_t count = 1);
  // whence 0 from the start, 1 from the current position, 2 from the end.
  // Answers the new position, or -1 (position unchanged) on failure.
  int64_t Seek(int64_t offset, int whence);
  int64_t Tell() const;
  int64_t Size() const;
  // The size a regular file had when it was opened (-1 for anything else, or
  // no file): what Size() answered then, without asking again.
  int64_t SizeAtOpen() const { return fd_ >= 0 ? sizeAtOpen_ : -1; }
  // True when the position is at or past the end of the file (or no file).
  bool Eof() const;
  // Flushes written data to the disk; false on failure.
  bool Sync();

  // The path as opened (after root and case resolution) and the open mode.
  const String& GetPath() const { return path_; }
  uint32_t GetMode() const { return mode_; }

  // --- The file system ---------------------------------------------------
  static bool Exists(const String& path, NameCase lookup = NameCase::kAnyCase);
  static bool Exists(const PString& root, const String& name);
  static bool IsDirectory(const String& path, NameCase lookup = NameCase::kAnyCase);
  // Creates a folder and every missing parent; true when it exists after.
  static bool Md(const String& path);
  static bool Rename(const String& from, const String& to);
  // Removes one file (not a folder).
  static bool Unlink(const String& path);
  // Removes a folder and everything below it (without following links: a
  // link inside is removed as a link, and a link given as `path` is not a
  // folder); false when `path` is not a folder or something could not be
  // removed. Trees deeper than 256 levels are refused.
  static bool Prune(const String& path);
  // Prune of the folder `name` of the folder open as `folder` (a
  // descriptor, or AT_FDCWD), named relative to it.
  static bool PruneAt(int folder, const String& name);
  static int64_t FileSize(const String& path, NameCase lookup = NameCase::kAnyCase);

  // Registers (or, with an empty folder, removes) a named file root.
  static void Subst(const PString& name, const String& folder);
  // The folder of a named root; false when none is registered.
  static bool LookupRoot(const PString& name, String* folder);
  // Joins a root and a name into a path; false when the root is unknown or
  // the name would leave it. "\" in the name counts as "/", and the name is
  // normalised before it is joined. Root names are compared exactly.
  static bool ResolveRooted(const PString& root, const String& name, String* out);

  static String GetCwd();
  static bool SetCwd(const String& path);

 private:
  int fd_ = -1;
  String path_;
  uint32_t mode_ = 0;
  // The descriptor's position, kept for a regular file; -1 when the system
  // is asked instead.
  int64_t position_ = -1;
  int64_t sizeAtOpen_ = -1;
  // Opened with O_NONBLOCK (kRegularOnly), not cleared yet.
  bool nonBlocking_ = false;

  // Clears O_NONBLOCK after a transfer met EAGAIN; false when it was not set
  // or could not be cleared.
  bool MakeBlocking();
};

// A file system path held as text, with "/" separators. The operations that
// take a path apart (Name, DelName, AddPath, StaysInside, ...) treat "\" as a
// separator too, so a name from content is safe to handle before it has been
// turned to "/".
class File::Path {
 public:
  Path() = default;
  explicit Path(std::string_view text) : text_(text) {}

  const String& Str() const { return text_; }
  const char* c_str() const { return text_.c_str(); }
  bool Empty() const { return text_.empty(); }
  bool operator==(const Path& other) const { return text_ == other.text_; }

  // Turns every "\" into "/".
  void ReplaceForwardSlashes();
  // Separators to "/", runs of "/" to one, "." components dropped, and
  // "folder/.." pairs folded. Leading ".." of a relative path are kept; ".."
  // at the root of an absolute path is dropped. The case is kept.
  void Normalize();
  // Appends `part` with exactly one "/" between (no "/" is added to an empty
  // path; an empty part adds nothing).
  void AddPath(std::string_view part);
  // Removes one trailing "/" (not the root's).
  void DelSlash();
  // Removes the last component, keeping the "/" before it ("a/b.txt" → "a/").
  void DelName();
  // Goes up one folder ("a/b/" and "a/b" → "a/").
  void PrevDir();
  // Lower-cases the text (ASCII). Only for names that are compared or
  // hashed, never for a path that is opened.
  void ToLower();

  // The last component ("a/b.txt" → "b.txt").
  String Name() const;
  // The text after the last "." of the last component, without the "."
  // ("" when there is none).
  String Extension() const;
  // True when the name ends in "." followed by `ext` (given with or without
  // its leading "."), ignoring ASCII case; so "a.lm.txt" is of both "txt" and
  // "lm.txt". False for an empty `ext`.
  bool IsExt(std::string_view ext) const;
  bool IsAbsolute() const { return !text_.empty() && text_[0] == '/'; }
  // True for a relative path that stays inside the folder it is joined to:
  // not absolute and no ".." that climbs above its start.
  bool StaysInside() const;
  // Makes this path relative to `base` when it lies below it, whole
  // components compared byte-wise ("a/bc" is not below "a/b"; the path
  // equal to `base` becomes empty); false (no change) otherwise or when
  // `base` is empty.
  bool MakeRelativeTo(const Path& base);
  // Removes and answers the first component ("a/b/c" → "a", leaving "b/c";
  // leading separators are skipped).
  String ExtractFirstPath();

 private:
  String text_;
};

// Lists the entries of one folder that match a wildcard pattern ("*" any
// run, "?" any one character; letters match in any case; "*.*" matches every
// name, as "*" does). "." and ".." are never listed. Order is by name
// (byte-wise). The folder is read whole by First; an empty folder name means
// the working folder. A link is described by what it points to.
class File::Find {
 public:
  Find();
  ~Find();
  Find(const Find&) = delete;
  Find& operator=(const Find&) = delete;

  // Starts a listing of `folder` for names matching `pattern` ("*" lists
  // everything). False when the folder cannot be read or nothing matches.
  bool First(const String& folder, const String& pattern = "*");
  // Moves to the next match; false at the end.
  bool Next();
  // The current entry ("" / false / 0 when there is none).
  const String& Name() const;
  // The folder (as found, after case resolution) joined with Name().
  String FullPath() const;
  bool IsDirectory() const;
  // Size in bytes of a file; 0 for a folder.
  uint64_t Size() const;

  // True when `name` matches `pattern` as above.
  static bool Match(std::string_view pattern, std::string_view name);
  // The path of an existing file or folder: `path` itself when it exists,
  // else the path whose components were each found without regard to case;
  // empty when no such path exists.
  static String ResolveCase(const String& path);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace Kiv
