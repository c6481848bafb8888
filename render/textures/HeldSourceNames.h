// HeldSourceNames: texture sources held under a conversion's temporary
// name, recorded where a signal handler can give them their names back.
//
// While a conversion compiles "<name>.texture.txt" it holds the file as
// "<name>.convert-tex.txt" (VADTextureConvertFileRPC.h). A HeldSourceName
// makes that rename and its undoing, and records the held source in a
// process-wide table of kMaxHeldSourceNames slots that exist beforehand:
// the folder open as a descriptor, both names and the identity (device and
// inode) of the file renamed. So GiveHeldSourceNamesBack can undo the
// renames from a signal handler, with no allocation and no lock.
//
// Hold(source, temporary): `temporary` must name a file in the folder of
// `source`. Takes a free slot, opens the folder and renames `source` to
// `temporary`, never replacing a file there (RenameAtNoReplace); 0, or
// the errno: EEXIST when a file stands at `temporary`, EAGAIN when every
// slot is taken, EXDEV for two folders, ENAMETOOLONG for a name of more
// than NAME_MAX bytes, EINTR once GiveHeldSourceNamesBack has run. On
// failure nothing is renamed and nothing is held.
// GiveBack(): renames the held file back to its name, never replacing a
// file that stands there meanwhile (it then keeps the temporary name); 0
// or the errno. The slot is free again either way. Holding nothing, or
// when a signal handler took the slot: 0.
// Held(): whether a source is held. Destruction gives back what is held.
//
// GiveHeldSourceNamesBack(): async-signal-safe (atomics, fstatat,
// renameat2, linkat, unlinkat, clock_gettime, gettid); for a handler that
// ends the process afterwards. It stops further holds, then renames each
// held source back whose file at the temporary name is still the one that
// was renamed, never replacing a file. A rename that another thread is
// making at that moment is waited for first (up to one second); one the
// handler's own thread was making (interrupted) is looked at as it stands.
// A thread that gives back afterwards finds the slot taken and changes
// nothing.
//
// Threads: a HeldSourceName is used by one thread at a time (a job's steps
// in turn); the table is shared by every thread of the process.
#pragma once

#include <cstddef>
#include <string>

inline constexpr size_t kMaxHeldSourceNames = 256;

class HeldSourceName {
 public:
  HeldSourceName() = default;
  ~HeldSourceName();
  HeldSourceName(const HeldSourceName&) = delete;
  HeldSourceName& operator=(const HeldSourceName&) = delete;

  int Hold(const std::string& source, const std::string& temporary);
  int GiveBack();
  bool Held() const { return slot_ >= 0; }

 private:
  int slot_ = -1;
};

void GiveHeldSourceNamesBack();
