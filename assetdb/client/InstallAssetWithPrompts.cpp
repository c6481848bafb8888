#include "assetdb/client/InstallAssetWithPrompts.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPChecksum.h"
#include "assetdb/archive/CDPEntryConfig.h"
#include "assetdb/archive/CDPExtract.h"
#include "assetdb/client/VADAssetHandle.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/AssetText.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/layout/ContentPath.h"
#include "foundation/layout/ContentSetFolder.h"
#include "foundation/layout/EditCopyMark.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/layout/SetAside.h"
#include "foundation/soup/HeldConfigText.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "kiv/File.h"

namespace {

constexpr uint32_t kAllParts = 0xFFFFFFFFu;

// Adds one message about `kuid` with the parameter "asset_kuid".
void LogAssetMessage(ResultsLog* log, uint32_t severity, const char* tag, const KUID& kuid) {
  if (!log) return;
  Soup parameters;
  parameters.Create();
  parameters.SetNamedTag(Kiv::PString("asset_kuid"), KUIDToTagString(kuid));
  log->AddResult(severity, AssetSubject(kuid), GetInterfaceText(tag), &parameters);
}

const char* QuestionFor(uint32_t status) {
  if (status & kAssetOpenForEdit) return "$vad_prompt_openforedit";
  if (status & kAssetBuiltIn) return "$vad_prompt_builtin";
  if (status & kAssetDownloadServiceItem) return "$vad_prompt_fcy_item";
  return "$vad_prompt_alreadyinstalled";
}

// True when the user lets the installed asset be replaced.
bool MayReplace(InstallPromptHandler* prompt, uint32_t status, ResultsLog* log) {
  if (!prompt) return true;
  const Kiv::String tag = QuestionFor(status);
  const int32_t answer =
      prompt->Ask(GetInterfaceText(tag.c_str()), GetInterfaceText((tag + "_log").c_str()), log);
  return answer == 2 || answer == 3;
}

// The edit copy at `relative` in `root` was open before this install: it
// may be the user's work, so it is moved aside (one rename, nothing removed
// before it) and an empty folder made at its name for the archive's files.
// An empty one holds nothing to keep. False, with the reason logged and
// the copy where it was, when it cannot be moved.
bool SetEditCopyAside(const Kiv::PString& root, const Kiv::File::Path& relative, const KUID& kuid,
                      ResultsLog* log, EditCopyAside* copy) {
  copy->kuid = kuid;
  copy->root = root;
  copy->folder = relative;
  Kiv::String placed;
  if (!Kiv::File::ResolveRooted(root, relative.Str(), &placed)) return false;
  copy->path = placed;
  std::string error;
  if (::rmdir(copy->path.c_str()) != 0 && errno != ENOENT) {
    if (!MoveAside(copy->path, kSetAsideWhy, &copy->aside, &error)) {
      if (log) log->AddResult(ResultsLog::kError, AssetSubject(kuid),
                              "The install left the edit copy as it was: " + error + ".");
      return false;
    }
    copy->onlyWhatWasMade = HoldsOnlyWhatWasMade(copy->aside);
  }
  if (MakeDirectories(root, relative)) return true;
  PutEditCopyBack(*copy, log);
  return false;
}

KUID Fail(VADAssetHandleRef& handle, ResultsLog* log, const char* tag, const KUID& kuid) {
  LogAssetMessage(log, ResultsLog::kError, tag, kuid);
  ReleaseAssetHandle(handle);
  return kNullKUID;
}

}  // namespace

KUID InstallAssetWithPrompts(const Soup& entry, ResultsLog* log, uint32_t options, bool* commitFlag,
                             InstallPromptHandler* prompt, std::vector<EditCopyAside>* held) {
  options &= ~kInstallChecksumMatched;
  if (entry.GetNamedTag(CDP::Tag::DSID()) == ChecksumPair::ToText(CDP::ComputeFilesChecksum(entry)))
    options |= kInstallChecksumMatched;
  const KUID kuid = entry.GetNamedTagAsKUID(CDP::Tag::KUID(), kNullKUID);
  VADAssetHandleRef handle;
  // An entry without a KUID would make the daemon reserve a new, unrelated
  // asset for it.
  if (kuid.IsNull()) return Fail(handle, log, "$vad_write_error", kuid);

  AssetRecord record;
  VADClient::GetAssetInfo(kuid, kAllParts, record);
  const bool installed = record.flagE && (record.status & kAssetInstalledLocally) != 0;
  if (installed) {
    if (!MayReplace(prompt, record.status, log)) return kNullKUID;
    options &= ~kInstallBinaryConfig;
  }

  if (record.flagE)
    VADClient::Request1E(kuid, true, handle, nullptr);
  else
    VADClient::Request23(kuid, false, GetAssetDisplayName(entry), handle);
  if (!handle.Valid()) return Fail(handle, log, "$vad_write_error", kuid);

  Kiv::PString location;
  Kiv::File::Path folder;
  if (!VADClient::OpenForEdit(handle.handle, location, folder) || folder.Empty())
    return Fail(handle, log, "$vad_write_error", kuid);
  // Files are only ever written to, or removed from, a folder inside the
  // content area, whatever folder the daemon named. The folder is addressed
  // through its content location so that the extraction stays inside it.
  Kiv::PString root;
  Kiv::File::Path relative;
  if (!IsInContentArea(folder) || !ResolveContentPath(folder, &root, &relative) || relative.Empty())
    return Fail(handle, log, "$vad_write_error", kuid);
  bool found = false;
  const ContentSetFolder hold = AcquireContentSetFolder(root, &found);
  if (!found) return Fail(handle, log, "$vad_write_error", kuid);

  const bool wasOpen = record.flagE && (record.status & kAssetOpenForEdit) != 0;
  EditCopyAside aside;
  if (wasOpen) {
    if (!SetEditCopyAside(root, relative, kuid, log, &aside))
      return Fail(handle, log, "$vad_overwrite_error", kuid);
  } else if (installed) {
    if (!DeleteContentPath(root, relative)) return Fail(handle, log, "$vad_overwrite_error", kuid);
    MakeDirectories(root, relative);
  }

  Kiv::PString message;
  std::vector<CDP::LeftOutFile> leftOut;
  CDP::ExtractFiles(message, entry.GetNamedSoup(CDP::Tag::Files()), root, relative,
                    entry.GetNamedTag(CDP::Tag::Compression()), CDP::LocalFiles::kRefuse, nullptr,
                    &leftOut);
  for (const CDP::LeftOutFile& file : leftOut) {
    if (log) log->AddResult(ResultsLog::kWarning, AssetSubject(kuid), CDP::LeftOutText(file));
  }
  if (!message.Empty()) {
    LogAssetMessage(log, ResultsLog::kError, "$vad_failed_install", kuid);
    // An edit copy open before goes back, still open; else what this
    // install opened for edit is dropped.
    if (wasOpen)
      PutEditCopyBack(aside, log);
    else
      VADClient::RevertAsset(handle, log);
    ReleaseAssetHandle(handle);
    return kNullKUID;
  }

  CDPEntry source{entry, false};
  Soup config;
  CDP::EntryToConfig(source, config);
  Kiv::File::Path configPath = relative;
  configPath.AddPath((options & kInstallBinaryConfig) ? "config.chump" : "config.txt");
  Soup::SaveToFile(root, configPath.Str(), config);

  if (options & kInstallBinaryConfig) {
    const uint32_t flags =
        ((options & kInstallChecksumMatched) ? 6u : 0u) | (options & kInstallCommitFlag8);
    if (!VADClient::CommitAsset(handle, flags, log, commitFlag)) {
      // A refused commit still gives the handle back to the daemon.
      if (wasOpen) PutEditCopyBack(aside, log);
      ReleaseAssetHandle(handle);
      return kNullKUID;
    }
  } else {
    // The archive's files are the edit copy now, as the store would have
    // made it.
    Kiv::String placed;
    if (Kiv::File::ResolveRooted(root, relative.Str(), &placed)) MarkAsMade(placed);
  }
  ReleaseAssetHandle(handle);
  if (wasOpen && held)
    held->push_back(aside);
  else if (wasOpen)
    SettleEditCopy(aside, log);
  VADClient::Request32(kuid, true);
  LogAssetMessage(log, ResultsLog::kSuccess, "$vad_installed", kuid);
  return kuid;
}

void SettleEditCopy(const EditCopyAside& copy, ResultsLog* log) {
  if (copy.aside.empty()) return;
  if (copy.onlyWhatWasMade && DeleteContentPath(Kiv::PString(), Kiv::File::Path(copy.aside)))
    return;
  if (log)
    log->AddResult(
        ResultsLog::kInformation, AssetSubject(copy.kuid),
        "Kept the edit copy " + copy.path + " as " + copy.aside + ": the install replaced it.");
}

void PutEditCopyBack(const EditCopyAside& copy, ResultsLog* log) {
  // What the install wrote there goes first: the copy is renamed back
  // only onto a free name, so it stands at one name or the other.
  DeleteContentPath(copy.root, copy.folder);
  if (copy.aside.empty()) {
    MakeDirectories(copy.root, copy.folder);
    return;
  }
  if (RenameNoReplace(copy.aside, copy.path)) return;
  const std::string reason = std::strerror(errno);
  if (log)
    log->AddResult(ResultsLog::kError, AssetSubject(copy.kuid),
                   "The edit copy " + copy.path + " stays as " + copy.aside +
                       ": it could not be put back (" + reason + ").");
}

bool LoadAssetConfig(const Kiv::PString& contentSet, const Kiv::String& folder, Soup& config) {
  bool found = false;
  ContentSetFolder hold = AcquireContentSetFolder(contentSet, &found);
  if (!found) return false;
  Kiv::String placed;
  if (Kiv::File::ResolveRooted(contentSet, folder, &placed) &&
      HeldConfigText::LoadFolder(placed, config, true))
    return true;
  Kiv::File::Path path(folder);
  path.AddPath("config.chump");
  if (Soup::LoadFromFile(contentSet, path.Str(), config, true)) return true;
  path = Kiv::File::Path(folder);
  path.AddPath("config.txt");
  return Soup::LoadFromFile(contentSet, path.Str(), config, true);
}
