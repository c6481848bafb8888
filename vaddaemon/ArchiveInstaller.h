// ArchiveInstaller: installing a ".cdp" archive (request 0x28) and asset
// folders (requests 0x27 and 0x29) into the asset store, with the messages
// that go to the requesting tool.
//
// InstallArchive opens the archive with the client's reader (CDP::
// OpenArchive: the binary soup reader checks every size and offset, then
// the root's kind, tables and package version). An archive that does not
// open gives one error message (the reader's reason) and installs nothing;
// so does one that holds no asset (CDP::NoAssetError).
// Otherwise each entry, in order:
//   1. its "kuid" must be valid (else an error message, entry skipped) and
//      one that the asset database keeps as written (KUIDStorageProblem,
//      ConfigKUID.h), else "Unable to install <kuid as written>: <why>."
//      and the entry is skipped;
//   2. when the asset is already installed and `questions` is given (the
//      request's callback byte was 1), the tool is asked (notification 2);
//      an answer other than "replace" skips the entry without a message;
//   3. an entry whose "files" nest folders deeper than the store keeps
//      (kMaxFolderDepth levels, FolderTree.h) gives an error message that
//      names the first such folder and is skipped;
//   4. its "files" are extracted into a new staging folder of the store
//      (addressed under the file root "vaddaemon-local", registered once
//      for the store's "local" folder, so that no path leaves it) with the
//      client's safe extraction (CDP::ExtractFiles: names, folder
//      paths and file types checked, nothing written outside the folder,
//      LZSS data bounded, and local file references refused, since an
//      archive is untrusted). A failed extraction gives an error message
//      with its place and reason and skips the entry: "Unable to install
//      <kuid>: ARCHIVE: byte OFFSET: REASON (file 'PATH')", the offset
//      being that of the damaged data in the archive file;
//   5. its configuration (CDP::EntryToConfig) is written into the staging
//      folder, replacing any configuration file the entry carried;
//   6. the texture sources of the staging folder that have no up-to-date
//      compiled texture beside them are compiled by a command host
//      (TextureConversionJob.h; a compiled texture the archive holds
//      without a record of its sources is kept); a conversion cut short
//      that left a source without one gives an error message ("Unable to
//      install <kuid>: the texture sources ... were not compiled, as their
//      conversion was cut short. <why> Nothing was installed: install it
//      again.") and skips the entry;
//   7. the store installs the staging folder (one index transaction, the
//      folder renamed into place). An asset that is installed by then
//      (the store reads that inside the transaction, so of two installs
//      of one asset at once the second sees the first) is not replaced:
//      the new files become its edit copy and it is left open for edit,
//      uncommitted, so local changes are never lost silently. The
//      configuration of such a copy is written as "config.txt", that of a
//      new asset as "config.chump".
// Step 7 runs for many entries together (AssetStore::InstallStagedTogether:
// one flush, one transaction); their messages are sent once they are
// recorded, in entry order, and before any message or question of a later
// entry.
// Each installed asset gives a success message (severity 4) with the asset
// as its subject. The result counts the assets installed; `complete` is
// true when every entry was installed.
//
// InstallAssetFolders installs the asset folders `folders` (each one's
// "config.chump" or "config.txt" names the KUID), in order: a KUID that
// the asset database does not keep as written is refused as in step 1;
// step 2 as above, then the folder is copied into a staging folder of the store
// (AssetStore::StageFolder, which keeps the files' times), its textures are
// compiled unless each has an up-to-date compiled texture (by the record
// of its sources; a conversion cut short fails the folder as in step 6),
// and it is installed like step 7, replacing an
// installed copy (never as an edit copy). As for archive entries, the
// staged folders are installed together, at most 256 at a time, and every
// message keeps the folders' order. The result of each folder is the KUID
// installed, or the null KUID (with an error message, except after a
// refused question). Once the requesting tool has gone, the folders after
// the first are left out: the result then holds fewer entries than
// `folders`. InstallAssetFolder installs one folder the same way (request
// 0x27).
//
// Paths in requests are resolved against the daemon's bin folder when they
// are relative (the tool's working directory is that folder too).
//
// Test hook: when the environment variable VADDAEMON_TEST_INSTALL_PAUSE_MS
// holds a whole number of milliseconds (at most 600000), each archive entry
// waits that long after its staging folder is filled and before the store
// records it, so that a test can kill the daemon in the middle of an
// install. Unset or invalid: no pause.
// A second hook, VADDAEMON_TEST_INSTALL_GATHER, holds a whole number N from
// 2 to 64: each archive entry then waits at the same point until N entries
// are waiting there (or 60 s have passed), so that a test can make
// installs meet there, each having looked at the store before any of them
// records its asset. Unset or invalid: no waiting.
//
// Threads: one call per request thread; the store and the question table
// are shared and thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/text/KUID.h"

class AssetStore;
class DaemonRequest;
class InstallQuestions;

struct ArchiveInstallResult {
  uint32_t installed = 0;
  bool complete = false;
};

ArchiveInstallResult InstallArchive(DaemonRequest& request, AssetStore& store,
                                    InstallQuestions* questions, const std::string& archivePath);

struct FolderInstallResult {
  KUID kuid = kNullKUID;
  bool replaced = false;
};

std::vector<FolderInstallResult> InstallAssetFolders(DaemonRequest& request, AssetStore& store,
                                                     InstallQuestions* questions,
                                                     const std::vector<std::string>& folders);
FolderInstallResult InstallAssetFolder(DaemonRequest& request, AssetStore& store,
                                       InstallQuestions* questions, const std::string& folder);

// A request's path made absolute against `binFolder` (kept as it is when it
// is absolute), normalised.
std::string ResolveRequestPath(const std::string& binFolder, const std::string& path);

// The pause of the test hook, in milliseconds (0: none).
uint32_t InstallTestPauseMs();
// The number of entries the gathering hook waits for (0: none).
uint32_t InstallTestGatherCount();
