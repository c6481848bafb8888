// ConfinedFolder: a folder that no read may leave.
//
// While a ConfinedFolder lives, every file that this process opens for
// reading with Kiv::File (and so through MemoryFile, Bitmap::Load, the
// soup and configuration readers) at a path below the folder is opened
// through BeneathFolder::OpenFile (FileBeneath.h), whichever thread opens
// it: a link that leads out of the folder, and a pipe, socket or device,
// are never opened (the open fails) and are noted as refused. So a link
// swapped between a check and a read can never carry a file from outside
// into what a command reads, and a pipe never blocks it.
//
// A path is below the folder when, made absolute (from the working folder)
// and normalised by name (Path::Normalize), it begins with the folder's
// path, made absolute and normalised the same way, or with its real path,
// followed by "/". Opening for writing or creating is not confined. A
// folder missing with the case given is taken in the case the file system
// holds (File::Find::ResolveCase), as reading a file below it would; a
// folder that cannot be opened at all still confines its path: nothing
// below it is read (ENOENT), not even in another case. Several folders
// may be confined at once, also the same one.
//
// Refusals() answers what was refused so far, each path once, as it was
// asked for, in the order met.
//
// Threads: a ConfinedFolder may be made and destroyed on any thread;
// Refusals may be called from any thread. Nothing throws.
#pragma once

#include <memory>
#include <vector>

#include "kiv/String.h"

namespace Kiv {

class ConfinedFolder {
 public:
  enum class Why { kLeavesFolder, kNotPlain };
  struct Refusal {
    String path;
    Why why;
  };

  explicit ConfinedFolder(const String& folder);
  ~ConfinedFolder();
  ConfinedFolder(const ConfinedFolder&) = delete;
  ConfinedFolder& operator=(const ConfinedFolder&) = delete;

  std::vector<Refusal> Refusals() const;

  struct Entry;

 private:
  std::shared_ptr<Entry> entry_;
};

// For Kiv::File: when `path` lies below a confined folder, opens it for
// reading as above and answers true, with the descriptor in `*fd` (-1 and
// errno set when it was not opened). False when no confined folder holds
// the path (nothing was opened). With `exactCase`, no component below the
// folder is taken in another case (File::kExactCase).
bool OpenConfined(const String& path, int* fd, bool exactCase = false);

}  // namespace Kiv
