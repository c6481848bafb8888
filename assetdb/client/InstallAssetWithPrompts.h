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
// kAssetOpenForEdit) is the user's work and is never emptied or written
// into: it is first renamed to "<edit folder>.set-aside-<time>"
// (foundation/layout/SetAside.h) and an empty folder made at its name,
// with the information "Kept the edit copy <path> as <aside>: the install
// replaced it."; an empty one is only made again. One that cannot be
// renamed stays as it was and fails the install ("$vad_overwrite_error",
// after an error naming the reason). Nothing is removed before the rename,
// so however the install ends, the user's files stand at the one name or
// the other.
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

#include "assetdb/protocol/InstallOptions.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
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

KUID InstallAssetWithPrompts(const Soup& entry, ResultsLog* log, uint32_t options, bool* commitFlag,
                             InstallPromptHandler* prompt);

bool LoadAssetConfig(const Kiv::PString& contentSet, const Kiv::String& folder, Soup& config);
