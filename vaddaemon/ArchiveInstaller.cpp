#include "vaddaemon/ArchiveInstaller.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "assetdb/AssetText.h"
#include "assetdb/CDPArchive.h"
#include "assetdb/CDPEntryConfig.h"
#include "assetdb/CDPExtract.h"
#include "assetdb/ResultsLog.h"
#include "foundation/Soup.h"
#include "kiv/Log.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/InstallQuestions.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMaxPauseMs = 600000;
constexpr const char* kStagingRootName = "vaddaemon-local";

std::string Tag(const KUID& kuid) { return KUIDToTagString(kuid).Str(); }

void Fail(DaemonRequest& request, const std::string& text, const KUID* subject = nullptr) {
  request.SendMessage(ResultsLog::kError, text, subject);
}

void Installed(DaemonRequest& request, const KUID& kuid, bool asEditCopy) {
  const std::string text = asEditCopy ? "Installed " + Tag(kuid) + " as an edit copy of the installed asset; it is "
                                            "left open for edit."
                                      : "Installed " + Tag(kuid) + ".";
  request.SendMessage(ResultsLog::kSuccess, text, &kuid);
}

bool IsInstalled(AssetStore& store, const KUID& kuid) {
  StoredAsset asset;
  return store.Find(kuid, &asset) && asset.Installed();
}

// Asks the tool whether an installed asset may be replaced; true to go on.
bool MayReplace(DaemonRequest& request, InstallQuestions* questions, const std::string& name, const KUID& kuid) {
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

void PauseForTests() {
  const uint32_t ms = InstallTestPauseMs();
  if (ms != 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
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

// Writes one entry into a staging folder and installs it; true when it was
// installed.
bool InstallEntry(DaemonRequest& request, AssetStore& store, InstallQuestions* questions, CDPEntry& entry) {
  const KUID kuid = CDP::GetEntryKUID(entry.soup);
  if (kuid.IsNull()) {
    Fail(request, "The archive holds an entry without a valid KUID; it was not installed.");
    return false;
  }
  Soup config;
  CDP::EntryToConfig(entry, config);
  const bool installedBefore = IsInstalled(store, kuid);
  if (installedBefore && !MayReplace(request, questions, GetAssetDisplayName(config), kuid)) return false;

  std::string staging;
  StoreResult result = store.MakeStagingFolder(&staging);
  if (!result.Ok()) {
    Fail(request, "Unable to install " + Tag(kuid) + ": " + result.message, &kuid);
    return false;
  }
  Kiv::PString message;
  CDP::ExtractFiles(message, CDP::GetFiles(entry.soup), StagingRoot(store),
                    Kiv::File::Path(fs::path(staging).filename().string()), CDP::GetCompression(entry.soup),
                    CDP::LocalFiles::kRefuse);
  if (!message.Empty()) {
    store.DiscardStagingFolder(staging);
    Fail(request, "Unable to install " + Tag(kuid) + ": " + message.Str(), &kuid);
    return false;
  }
  RemoveCarriedConfig(staging);
  Kiv::File::Path configPath(staging);
  configPath.AddPath(installedBefore ? "config.txt" : "config.chump");
  if (!Soup::SaveToFile(Kiv::PString(), configPath.Str(), config)) {
    store.DiscardStagingFolder(staging);
    Fail(request, "Unable to install " + Tag(kuid) + ": its configuration could not be written.", &kuid);
    return false;
  }
  PauseForTests();
  AssetStore::InstallOptions options;
  options.replace = true;
  options.asEditCopy = installedBefore;
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
  static const uint32_t pause = []() -> uint32_t {
    const char* text = std::getenv("VADDAEMON_TEST_INSTALL_PAUSE_MS");
    if (text == nullptr || *text == '\0') return 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value > kMaxPauseMs) {
      Kiv::Log::Printf("vaddaemon> VADDAEMON_TEST_INSTALL_PAUSE_MS '%s' ignored\n", text);
      return 0;
    }
    return uint32_t(value);
  }();
  return pause;
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

ArchiveInstallResult InstallArchive(DaemonRequest& request, AssetStore& store, InstallQuestions* questions,
                                    const std::string& archivePath) {
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
    if (InstallEntry(request, store, questions, entry)) ++result.installed;
  }
  result.complete = result.installed == count;
  return result;
}

FolderInstallResult InstallAssetFolder(DaemonRequest& request, AssetStore& store, InstallQuestions* questions,
                                       const std::string& folder) {
  FolderInstallResult result;
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    Fail(request, "Unable to install '" + folder + "': it is not a folder.");
    return result;
  }
  Soup config;
  if (!LoadAssetFolderConfig(folder, &config)) {
    Fail(request, "Unable to install '" + folder + "': it holds no readable config.chump or config.txt.");
    return result;
  }
  const KUID kuid = config.GetNamedTagAsKUID(Kiv::PString("kuid"), kNullKUID);
  if (kuid.IsNull()) {
    Fail(request, "Unable to install '" + folder + "': its configuration names no valid KUID.");
    return result;
  }
  const bool installedBefore = IsInstalled(store, kuid);
  if (installedBefore && !MayReplace(request, questions, GetAssetDisplayName(config), kuid)) return result;
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
