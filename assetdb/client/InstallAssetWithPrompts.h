// InstallAssetWithPrompts: writes one archive entry into the asset database
// through an edit handle, and LoadAssetConfig, which loads an asset
// folder's configuration.
//
// Options: kInstallBinaryConfig (0x2) writes "config.chump" and commits
// (request 0x22) after writing; kInstallChecksumMatched (0x4) is computed
// here (set when the entry's "dsid" equals the checksum of its "files") and
// makes the commit flags 6; kInstallCommitFlag8 (0x8) is passed on to the
// commit. Steps: fetch the asset record (0x15); when the asset is present
// and installed locally, ask the prompt handler (when one is given; the
// question is "$vad_prompt_openforedit", "_builtin", "_fcy_item" or
// "_alreadyinstalled" by the first status bit 0x100, 0x10, 0x20 that holds),
// skip the asset silently unless it answers 2 or 3, and write "config.txt"
// without a commit; reserve the asset (0x23 for a new one, 0x1E for a
// present one), open it for edit (0x20), empty the edit folder of a present
// asset, extract the files (archive files may not name local files), write
// the configuration, commit when asked, release the handle, mark the asset
// (0x32) and log "$vad_installed".
//
// An edit copy that was open before the install began (the record's
// kAssetOpenForEdit) may be the user's work and is never emptied or
// written into: it is first renamed to "<edit folder>.set-aside-<time>"
// (foundation/layout/SetAside.h) and an empty folder made at its name; an
// empty one is only made again. One that cannot be renamed stays as it was
// and fails the install ("$vad_overwrite_error", after an error naming the
// reason). Nothing is removed before the rename, so however the install
// ends, the copy stands at the one name or the other. An install that
// fails after the rename puts it back (PutEditCopyBack): still open for
// edit, with nothing said of a replacement. One that succeeds settles it
// (SettleEditCopy), or, when `held` is given, appends it there for the
// caller to settle or put back once it knows whether the install stands.
// Settled, a copy that held only what the store put there
// (foundation/layout/EditCopyMark.h) is removed; any other is kept, with
// the information "Kept the edit copy <path> as <aside>: the install
// replaced it.". An install that leaves the archive's files as the edit
// copy (no commit) marks them as the store's.
//
// Failures log "$vad_write_error", "$vad_overwrite_error" or
// "$vad_failed_install" (with "asset_kuid") and answer the null KUID. Every
// path releases the reservation handle, a failed commit included. An entry
// without a KUID is refused (the daemon would reserve a new asset for it).
// The edit folder the daemon names is used only when it lies inside the
// content area; it is then addressed through its content location, so
// emptying it and extracting into it can never touch anything outside,
// whatever folder the daemon named.
//
// LoadAssetConfig holds the content set's folder entry while it loads
// "config.chump", else "config.txt", from `folder`; false when the content
// set is unknown or neither file loads.
//
// Threads: the calling thread; the client is thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assetdb/protocol/InstallOptions.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class ResultsLog;

// Asks the user before an installed asset is replaced. Answers 2 or 3 to
// replace it; anything else leaves it alone.
class InstallPromptHandler {
 public:
  virtual ~InstallPromptHandler() = default;
  virtual int32_t Ask(const Kiv::String& question, const Kiv::String& logText, ResultsLog* log) = 0;

 protected:
  InstallPromptHandler() = default;
  InstallPromptHandler(const InstallPromptHandler&) = default;
  InstallPromptHandler& operator=(const InstallPromptHandler&) = default;
};

// An edit copy moved aside by an install (above).
struct EditCopyAside {
  KUID kuid;
  Kiv::PString root;             // the content location of the edit folder
  Kiv::File::Path folder;        // the edit folder, in `root`
  std::string path;              // its full path
  std::string aside;             // where the copy stands meanwhile; "" when it was empty
  bool onlyWhatWasMade = false;  // it held only what the store put there
};

KUID InstallAssetWithPrompts(const Soup& entry, ResultsLog* log, uint32_t options, bool* commitFlag,
                             InstallPromptHandler* prompt,
                             std::vector<EditCopyAside>* held = nullptr);

// Once the install stands: removes the copy when it held only what the
// store put there, else says where it is kept (above).
void SettleEditCopy(const EditCopyAside& copy, ResultsLog* log);
// The install did not stand: removes what it wrote at the edit folder and
// renames the copy back (an empty one is made again). A copy that cannot
// be renamed back stays aside, and an error says where.
void PutEditCopyBack(const EditCopyAside& copy, ResultsLog* log);

bool LoadAssetConfig(const Kiv::PString& contentSet, const Kiv::String& folder, Soup& config);
