// FileBeneath: opening a file below a folder without ever leaving it.
//
// A folder that someone else can write to (an unpacked download, a shared
// drive) may hold links that lead out of it, and may have them swapped
// while it is read. Checking where a link leads and opening the path
// afterwards is a race: the link can change between the two. Here the
// decision and the open are one act: every component is opened relative
// to the descriptor of the one before it, never through a link by the
// system; a link is read (readlinkat) and its target resolved the same way.
//
// BeneathFolder opens a folder once (Open; the folder itself may be named
// through links) and keeps its descriptor and its real path. OpenFile then
// resolves `relative` (components separated by "/"; "." and empty ones
// ignored) from that descriptor:
//   - ".." goes back up the components walked so far; above the folder,
//     and for an absolute link target, the walk goes on by name only
//     (nothing outside is looked at) and is back inside only when it names
//     the folder's real path or a path below it, as "../asset/x" or
//     "/home/u/asset/x" may for the folder "/home/u/asset"; anything else
//     leaves the folder (kLeavesFolder), so does a link outside met by name;
//   - a link's target is taken from the link's own folder (an absolute one
//     from the root, as above); more than kMaxLinks links give kFailed
//     (ELOOP), and so does a walk more than kMaxDepth folders deep
//     (ENAMETOOLONG), which bounds the descriptors a walk holds; a walk
//     of more than kMaxSteps components in all (the path and every link
//     target taken) gives kFailed (ELOOP) too, so that links whose
//     targets wind back and forth cannot make one open look at folders
//     without end;
//   - a component not found as spelled is taken in another ASCII case
//     from its folder, the first such entry in byte order (not with
//     `exactCase`: then it is missing);
//   - the last component is opened for reading without following a link
//     and without waiting (O_NOFOLLOW | O_NONBLOCK), and the descriptor is
//     then looked at: a regular file is kept (kOpened, the descriptor's
//     O_NONBLOCK still set, which reading a regular file ignores); a
//     folder gives kFolder; a pipe, socket or device kNotPlain. Nothing
//     ever waits for the other end of a pipe.
// A missing component gives kMissing; any other failure kFailed, with the
// system's error in `error`.
//
// Ownership: BeneathFolder owns its descriptor; the descriptor of an opened
// file belongs to the caller. Threads: a BeneathFolder may be used from any
// number of threads at once once open (it is not changed by OpenFile).
// Nothing throws.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Kiv {

class BeneathFolder {
 public:
  static constexpr int kMaxLinks = 40;
  static constexpr size_t kMaxDepth = 128;
  static constexpr size_t kMaxSteps = 4096;

  enum class Outcome { kOpened, kMissing, kLeavesFolder, kNotPlain, kFolder, kFailed };

  struct Opened {
    int fd = -1;  // The caller's, when outcome is kOpened; else -1.
    Outcome outcome = Outcome::kFailed;
    int error = 0;  // errno for kFailed and kMissing.
  };

  BeneathFolder() = default;
  ~BeneathFolder();
  BeneathFolder(const BeneathFolder&) = delete;
  BeneathFolder& operator=(const BeneathFolder&) = delete;

  // Opens `folder`; false (errno set) when it is no folder or cannot be
  // opened. Closes a folder already open first.
  bool Open(const std::string& folder);
  bool IsOpen() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }
  // The folder's real path ("" when it could not be worked out: absolute
  // link targets then never lead back in).
  const std::string& RealPath() const { return real_; }

  Opened OpenFile(std::string_view relative, bool exactCase = false) const;

 private:
  int fd_ = -1;
  std::string real_;
};

}  // namespace Kiv
