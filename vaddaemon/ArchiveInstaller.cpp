#include "vaddaemon/ArchiveInstaller.h"

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPEntryConfig.h"
#include "assetdb/archive/CDPExtract.h"
#include "assetdb/archive/CDPNames.h"
#include "assetdb/protocol/AssetText.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/Soup.h"
#include "kiv/Log.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/InstallQuestions.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMaxPauseMs = 600000;
constexpr uint32_t kMaxGather = 64;
constexpr std::chrono::seconds kMaxGatherWait{60};
constexpr const char* kStagingRootName = "vaddaemon-local";
constexpr const char* kNewAssetConfig = "config.chump";
constexpr const char* kEditCopyConfig = "config.txt";

std::string Tag(const KUID& kuid) {
  return KUIDToTagString(kuid).Str();
}

void Fail(DaemonRequest& request, const std::string& text, const KUID* subject = nullptr) {
  request.SendMessage(ResultsLog::kError, text, subject);
}

void Installed(DaemonRequest& request, const KUID& kuid, bool asEditCopy) {
  const std::string text = asEditCopy ? "Installed " + Tag(kuid) +
                                            " as an edit copy of the installed asset; it is "
                                            "left open for edit."
                                      : "Installed " + Tag(kuid) + ".";
  request.SendMessage(ResultsLog::kSuccess, text, &kuid);
}

bool IsInstalled(AssetStore& store, const KUID& kuid) {
  StoredAsset asset;
  return store.Find(kuid, &asset) && asset.Installed();
}

// Asks the tool whether an installed asset may be replaced; true to go on.
bool MayReplace(DaemonRequest& request, InstallQuestions* questions, const std::string& name,
                const KUID& kuid) {
  if (questions == nullptr) return true;
  return InstallQuestions::Replace(questions->Ask(request, name, kuid));
}

// The file root under which entries are extracted: the store's "local"
// folder, which holds the staging folders. The extraction keeps every path
// inside its root.
Kiv::PString StagingRoot(AssetStore& store) {
  static const Kiv::PString root(kStagingRootName);
  static std::once_flag once;
  std::call_once(once, [&store]() { Kiv::File::Subst(root, store.LocalRoot()); });
  return root;
}

// Reads a whole number from the environment variable `name`; `fallback`
// when it is unset, and (logged) when it is not a number from `low` to
// `high`.
uint32_t TestHookValue(const char* name, uint32_t low, uint32_t high, uint32_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (*end != '\0' || value < low || value > high) {
    Kiv::Log::Printf("vaddaemon> %s '%s' ignored\n", name, text);
    return fallback;
  }
  return uint32_t(value);
}

// The test hooks: a pause, then a wait until enough entries are waiting.
void PauseForTests() {
  const uint32_t ms = InstallTestPauseMs();
  if (ms != 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  const uint32_t count = InstallTestGatherCount();
  if (count == 0) return;
  static std::mutex mutex;
  static std::condition_variable gathered;
  static uint32_t waiting = 0;
  static uint64_t round = 0;
  std::unique_lock<std::mutex> lock(mutex);
  const uint64_t mine = round;
  if (++waiting == count) {
    waiting = 0;
    ++round;
    gathered.notify_all();
    return;
  }
  if (!gathered.wait_for(lock, kMaxGatherWait, [&] { return round != mine; })) --waiting;
}

// Removes the configuration files an entry's "files" carried at the top of
// the folder, so that only the entry's own configuration counts.
void RemoveCarriedConfig(const std::string& folder) {
  std::error_code ignored;
  for (const auto& item : fs::directory_iterator(folder, ignored)) {
    std::string name = item.path().filename().string();
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (name == "config.txt" || name == "config.chump") fs::remove(item.path(), ignored);
  }
}

// The path of the first folder of a "files" tree that lies deeper below the
// asset folder than the store keeps (kMaxFolderDepth); empty when none
// does. Folders that the extraction skips for their names are not counted.
std::string FolderNestedTooDeeply(const ACSChunk* folder, const std::string& path, uint32_t depth) {
  const uint32_t count = folder != nullptr ? folder->CountChildren() : 0;
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString name;
    ChunkRef child;
    if (!folder->GetChildAt(i, name, child) || IsNullChunk(child.get())) continue;
    if (child->GetType() != SoupType::kContainer || !CDP::IsValidFileName(name.View())) continue;
    const std::string childPath = path.empty() ? name.Str() : path + "/" + name.Str();
    if (depth + 1 > kMaxFolderDepth) return childPath;
    std::string deeper = FolderNestedTooDeeply(child.get(), childPath, depth + 1);
    if (!deeper.empty()) return deeper;
  }
  return std::string();
}

Kiv::String ConfigPath(const std::string& folder, const char* name) {
  Kiv::File::Path path(folder);
  path.AddPath(name);
  return path.Str();
}

// An edit copy keeps its configuration as text: writes `config` as
// "config.txt" in place of the staged "config.chump" and flushes the folder.
bool RenameConfigForEditCopy(const std::string& folder, const Soup& config) {
  if (!Soup::SaveToFile(Kiv::PString(), ConfigPath(folder, kEditCopyConfig), config)) return false;
  std::error_code error;
  fs::remove(ConfigPath(folder, kNewAssetConfig), error);
  return !error && SyncFolder(folder);
}

// The place of a damaged entry around the extraction's reason:
// "ARCHIVE: byte OFFSET: REASON (file 'NAME')" (no byte part when the data
// did not come from the file).
std::string DamagedEntryText(const std::string& archivePath, const Kiv::PString& message,
                             const CDP::ExtractFault& fault) {
  std::string text = archivePath + ": ";
  if (fault.byteOffset != CDP::ExtractFault::kNoOffset)
    text += "byte " + std::to_string(fault.byteOffset) + ": ";
  text += message.Str();
  if (!fault.file.empty()) text += " (file '" + fault.file + "')";
  return text;
}

// Writes one entry of the archive `archivePath` into a staging folder and
// installs it; true when it was installed.
bool InstallEntry(DaemonRequest& request, AssetStore& store, InstallQuestions* questions,
                  const std::string& archivePath, CDPEntry& entry) {
  const KUID kuid = CDP::GetEntryKUID(entry.soup);
  if (kuid.IsNull()) {
    Fail(request, "The archive holds an entry without a valid KUID; it was not installed.");
    return false;
  }
  Soup config;
  CDP::EntryToConfig(entry, config);
  // Only for the question: whether the files replace the installed copy or
  // become its edit copy is the store's decision, taken as it records them.
  if (IsInstalled(store, kuid) &&
      !MayReplace(request, questions, GetAssetDisplayName(config), kuid))
    return false;

  const std::string tooDeep =
      FolderNestedTooDeeply(CDP::GetFiles(entry.soup).GetChunk(), std::string(), 0);
  if (!tooDeep.empty()) {
    Fail(request,
         "Unable to install " + Tag(kuid) + ": its folder '" + tooDeep +
             "' is nested too deeply (more than " + std::to_string(kMaxFolderDepth) + " levels).",
         &kuid);
    return false;
  }
  std::string staging;
  StoreResult result = store.MakeStagingFolder(&staging);
  if (!result.Ok()) {
    Fail(request, "Unable to install " + Tag(kuid) + ": " + result.message, &kuid);
    return false;
  }
  Kiv::PString message;
  CDP::ExtractFault fault;
  const std::string stagingName = fs::path(staging).filename().string();
  CDP::ExtractFiles(message, CDP::GetFiles(entry.soup), StagingRoot(store),
                    Kiv::File::Path(stagingName), CDP::GetCompression(entry.soup),
                    CDP::LocalFiles::kRefuse, &fault);
  if (!message.Empty()) {
    store.DiscardStagingFolder(staging);
    // The file at fault, as the entry names it (without the staging folder).
    if (fault.file.compare(0, stagingName.size() + 1, stagingName + "/") == 0)
      fault.file.erase(0, stagingName.size() + 1);
    Fail(request,
         "Unable to install " + Tag(kuid) + ": " + DamagedEntryText(archivePath, message, fault),
         &kuid);
    return false;
  }
  RemoveCarriedConfig(staging);
  if (!Soup::SaveToFile(Kiv::PString(), ConfigPath(staging, kNewAssetConfig), config)) {
    store.DiscardStagingFolder(staging);
    Fail(request, "Unable to install " + Tag(kuid) + ": its configuration could not be written.",
         &kuid);
    return false;
  }
  PauseForTests();
  AssetStore::InstallOptions options;
  options.replace = true;
  options.asEditCopy = true;
  options.finishStaging = [&config](const std::string& folder, bool asEditCopy) {
    return !asEditCopy || RenameConfigForEditCopy(folder, config);
  };
  AssetStore::InstallOutcome outcome;
  result = store.InstallStaged(staging, options, &outcome);
  if (!result.Ok()) {
    Fail(request, "Unable to install " + Tag(kuid) + ": " + result.message, &kuid);
    return false;
  }
  Installed(request, outcome.kuid.IsNull() ? kuid : outcome.kuid, outcome.leftOpenForEdit);
  return true;
}

}  // namespace

uint32_t InstallTestPauseMs() {
  static const uint32_t pause = TestHookValue("VADDAEMON_TEST_INSTALL_PAUSE_MS", 0, kMaxPauseMs, 0);
  return pause;
}

uint32_t InstallTestGatherCount() {
  static const uint32_t count = TestHookValue("VADDAEMON_TEST_INSTALL_GATHER", 2, kMaxGather, 0);
  return count;
}

std::string ResolveRequestPath(const std::string& binFolder, const std::string& path) {
  Kiv::File::Path resolved(path);
  resolved.ReplaceForwardSlashes();
  if (!resolved.IsAbsolute()) {
    Kiv::File::Path joined(binFolder);
    joined.AddPath(resolved.Str());
    resolved = joined;
  }
  resolved.Normalize();
  return resolved.Str();
}

ArchiveInstallResult InstallArchive(DaemonRequest& request, AssetStore& store,
                                    InstallQuestions* questions, const std::string& archivePath) {
  ArchiveInstallResult result;
  // A pipe or device there would hold the reader; a missing file is left to
  // the archive reader's own message.
  std::error_code error;
  const fs::file_status status = fs::status(archivePath, error);
  if (!error && !fs::is_regular_file(status)) {
    Fail(request, "Unable to install '" + archivePath + "': it is not a file.");
    return result;
  }
  Soup archive;
  Kiv::PString message;
  CDP::OpenArchive(archive, message, archivePath);
  if (!message.Empty()) {
    Fail(request, "Unable to install '" + archivePath + "': " + message.Str());
    return result;
  }
  const uint32_t count = CDP::GetAssetCount(archive);
  for (uint32_t i = 0; i < count; ++i) {
    if (request.Connection().IsClosed()) break;  // Nobody waits for the rest.
    CDPEntry entry = CDP::GetAssetAt(archive, i);
    if (InstallEntry(request, store, questions, archivePath, entry)) ++result.installed;
  }
  result.complete = result.installed == count;
  return result;
}

FolderInstallResult InstallAssetFolder(DaemonRequest& request, AssetStore& store,
                                       InstallQuestions* questions, const std::string& folder) {
  FolderInstallResult result;
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    Fail(request, "Unable to install '" + folder + "': it is not a folder.");
    return result;
  }
  Soup config;
  if (!LoadAssetFolderConfig(folder, &config)) {
    Fail(request,
         "Unable to install '" + folder + "': it holds no readable config.chump or config.txt.");
    return result;
  }
  const KUID kuid = config.GetNamedTagAsKUID(Kiv::PString("kuid"), kNullKUID);
  if (kuid.IsNull()) {
    Fail(request, "Unable to install '" + folder + "': its configuration names no valid KUID.");
    return result;
  }
  const bool installedBefore = IsInstalled(store, kuid);
  if (installedBefore && !MayReplace(request, questions, GetAssetDisplayName(config), kuid))
    return result;
  AssetStore::InstallOptions options;
  options.replace = true;
  AssetStore::InstallOutcome outcome;
  const StoreResult installed = store.InstallFolder(folder, options, &outcome);
  if (!installed.Ok()) {
    Fail(request, "Unable to install " + Tag(kuid) + ": " + installed.message, &kuid);
    return result;
  }
  result.kuid = outcome.kuid.IsNull() ? kuid : outcome.kuid;
  result.replaced = outcome.replaced;
  Installed(request, result.kuid, false);
  return result;
}
