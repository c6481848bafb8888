#include "vaddaemon/ArchiveInstaller.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPEntryConfig.h"
#include "assetdb/archive/CDPExtract.h"
#include "assetdb/archive/CDPNames.h"
#include "assetdb/protocol/AssetText.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/FileConfinement.h"
#include "kiv/Log.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/ConfigKUID.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/InstallQuestions.h"
#include "vaddaemon/QueryHandlerSupport.h"
#include "vaddaemon/TextureConversionJob.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMaxPauseMs = 600000;
constexpr uint32_t kMaxGather = 64;
constexpr std::chrono::seconds kMaxGatherWait{60};
constexpr const char* kStagingRootName = "vaddaemon-local";
constexpr const char* kNewAssetConfig = "config.chump";

std::string Tag(const KUID& kuid) {
  return KUIDToTagString(kuid).Str();
}

void Fail(DaemonRequest& request, const std::string& text, const KUID* subject = nullptr) {
  request.SendMessage(ResultsLog::kError, text, subject);
}

// The error of an asset not installed because the conversion of its
// textures was cut short (`cut`, TextureConversionJob.h).
std::string NotInstalledText(const KUID& kuid, const std::string& cut) {
  return "Unable to install " + Tag(kuid) + ": " + cut +
         " Nothing was installed: install it again.";
}

void Installed(DaemonRequest& request, const KUID& kuid, bool asEditCopy) {
  const std::string text = asEditCopy ? "Installed " + Tag(kuid) +
                                            " as an edit copy of the installed asset; it is "
                                            "left open for edit."
                                      : "Installed " + Tag(kuid) + ".";
  request.SendMessage(ResultsLog::kSuccess, text, &kuid);
}

// What became of the open edit copy an install replaced (the user's work:
// set aside, never removed).
void SendEditCopyKept(DaemonRequest& request, const AssetStore::InstallOutcome& outcome) {
  if (!outcome.editCopyAside.empty())
    request.SendMessage(
        ResultsLog::kInformation,
        "Kept the edit copy " + outcome.editCopyAside + ": the install replaced it.",
        &outcome.kuid);
  if (!outcome.editCopyLeft.empty())
    request.SendMessage(
        ResultsLog::kInformation,
        "The edit copy the install replaced stays where it is: " + outcome.editCopyLeft + ".",
        &outcome.kuid);
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

// The new asset's configuration, written into the staging folder in one
// piece. The store flushes every staged file before it records the asset,
// so this file needs no flush of its own (nor the temporary copy of a save:
// nothing names the staging folder until the install is recorded).
bool WriteStagedConfig(const std::string& staging, const Soup& config) {
  TBuffer buffer;
  if (!BinarySoup::Write(buffer, config) || buffer.GetError() != TStream::kErrorNone) return false;
  const Kiv::DynamicBuffer* data = buffer.GetData();
  const Kiv::String path = ConfigPath(staging, kNewAssetConfig);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return false;
  const auto* bytes = static_cast<const uint8_t*>(data->Data());
  size_t done = 0;
  while (done < data->DataLength()) {
    const ssize_t n = ::write(fd, bytes + done, data->DataLength() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  const bool closed = ::close(fd) == 0;
  return closed && done == data->DataLength();
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

// Assets staged and waiting to be installed together (see
// AssetStore::InstallStagedTogether), with what their messages need. The
// messages of a request keep the order of its assets: the batch is
// installed, and its messages sent, before any later asset sends one of its
// own or asks a question, and before an asset of a KUID it holds is looked
// at.
class InstallBatch {
 public:
  // Assets staged at most before the batch is installed.
  static constexpr size_t kMaxEntries = 256;

  InstallBatch(DaemonRequest& request, AssetStore& store) : request_(request), store_(store) {}

  bool Holds(const KUID& kuid) const {
    for (const Entry& entry : entries_) {
      if (entry.kuid == kuid) return true;
    }
    return false;
  }

  // Adds the staged asset `kuid` (as its source names it); installs the
  // batch when it is full. `outcome` (may be null) receives the outcome of
  // a successful install, with the KUID installed. `warnings` are sent
  // after its success message. Answers the assets installed by that.
  uint32_t Add(const KUID& kuid, const std::string& staging, AssetStore::InstallOptions options,
               AssetStore::InstallOutcome* outcome, std::vector<std::string> warnings = {}) {
    entries_.push_back({kuid, staging, std::move(options), outcome, std::move(warnings)});
    return entries_.size() >= kMaxEntries ? Install() : 0;
  }

  // Installs the assets staged so far and sends their messages in order;
  // answers the assets installed.
  uint32_t Install() {
    if (entries_.empty()) return 0;
    std::vector<AssetStore::StagedInstall> installs(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
      installs[i].stagingPath = entries_[i].staging;
      installs[i].options = std::move(entries_[i].options);
    }
    store_.InstallStagedTogether(installs);
    uint32_t installed = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
      const KUID& kuid = entries_[i].kuid;
      AssetStore::StagedInstall& done = installs[i];
      if (!done.result.Ok()) {
        Fail(request_, "Unable to install " + Tag(kuid) + ": " + done.result.message, &kuid);
        continue;
      }
      if (done.outcome.kuid.IsNull()) done.outcome.kuid = kuid;
      Installed(request_, done.outcome.kuid, done.outcome.leftOpenForEdit);
      for (const std::string& warning : entries_[i].warnings)
        request_.SendMessage(ResultsLog::kWarning, warning, &done.outcome.kuid);
      SendSetAside(request_, done.outcome.setAside, done.outcome.kuid);
      SendEditCopyKept(request_, done.outcome);
      if (entries_[i].outcome != nullptr) *entries_[i].outcome = done.outcome;
      ++installed;
    }
    entries_.clear();
    return installed;
  }

 private:
  struct Entry {
    KUID kuid;
    std::string staging;
    AssetStore::InstallOptions options;
    AssetStore::InstallOutcome* outcome;
    std::vector<std::string> warnings;
  };

  DaemonRequest& request_;
  AssetStore& store_;
  std::vector<Entry> entries_;
};

// Whether the asset `kuid` may be installed now: the batch is installed
// first when it holds that asset, and before the tool is asked whether an
// installed asset may be replaced. Adds the assets installed on the way to
// `installed`.
bool MayInstall(DaemonRequest& request, AssetStore& store, InstallQuestions* questions,
                InstallBatch& batch, const std::string& name, const KUID& kuid,
                uint32_t& installed) {
  if (batch.Holds(kuid)) installed += batch.Install();
  if (questions == nullptr || !IsInstalled(store, kuid)) return true;
  installed += batch.Install();
  return MayReplace(request, questions, name, kuid);
}

// Writes one entry of the archive `archivePath` into a staging folder and
// adds it to `batch`. Answers the assets installed on the way (the batch
// is installed first whenever this entry sends a message or asks a
// question, or when it fills up).
uint32_t StageEntry(DaemonRequest& request, AssetStore& store, InstallQuestions* questions,
                    const std::string& archivePath, CDPEntry& entry, InstallBatch& batch) {
  uint32_t installed = 0;
  const auto fail = [&](const std::string& text, const KUID* subject = nullptr) {
    installed += batch.Install();
    Fail(request, text, subject);
    return installed;
  };
  const KUID kuid = KUIDAsWritten(entry.soup);
  if (kuid.IsNull())
    return fail("The archive holds an entry without a valid KUID; it was not installed.");
  const std::string unkept = KUIDStorageProblem(kuid);
  if (!unkept.empty()) return fail("Unable to install " + Tag(kuid) + ": " + unkept + ".");
  Soup config;
  CDP::EntryToConfig(entry, config);
  // Only for the question: whether the files replace the installed copy or
  // become its edit copy is the store's decision, taken as it records them.
  if (!MayInstall(request, store, questions, batch, GetAssetDisplayName(config), kuid, installed))
    return installed;

  const std::string tooDeep =
      FolderNestedTooDeeply(CDP::GetFiles(entry.soup).GetChunk(), std::string(), 0);
  if (!tooDeep.empty()) {
    return fail("Unable to install " + Tag(kuid) + ": its folder '" + tooDeep +
                    "' is nested too deeply (more than " + std::to_string(kMaxFolderDepth) +
                    " levels).",
                &kuid);
  }
  std::string staging;
  StoreResult result = store.MakeStagingFolder(&staging);
  if (!result.Ok()) return fail("Unable to install " + Tag(kuid) + ": " + result.message, &kuid);
  Kiv::PString message;
  CDP::ExtractFault fault;
  std::vector<CDP::LeftOutFile> leftOut;
  const std::string stagingName = fs::path(staging).filename().string();
  CDP::ExtractFiles(message, CDP::GetFiles(entry.soup), StagingRoot(store),
                    Kiv::File::Path(stagingName), CDP::GetCompression(entry.soup),
                    CDP::LocalFiles::kRefuse, &fault, &leftOut);
  if (!message.Empty()) {
    store.DiscardStagingFolder(staging);
    // The file at fault, as the entry names it (without the staging folder).
    if (fault.file.compare(0, stagingName.size() + 1, stagingName + "/") == 0)
      fault.file.erase(0, stagingName.size() + 1);
    return fail(
        "Unable to install " + Tag(kuid) + ": " + DamagedEntryText(archivePath, message, fault),
        &kuid);
  }
  RemoveCarriedConfig(staging);
  if (!WriteStagedConfig(staging, config)) {
    store.DiscardStagingFolder(staging);
    return fail("Unable to install " + Tag(kuid) + ": its configuration could not be written.",
                &kuid);
  }
  // A compiled texture that the archive holds without a record of its
  // sources is taken as it is (TextureConversionJob.h).
  const std::string cut = CompileFolderTextures(request, staging, kuid, false);
  if (!cut.empty()) {
    store.DiscardStagingFolder(staging);
    return fail(NotInstalledText(kuid, cut), &kuid);
  }
  PauseForTests();
  AssetStore::InstallOptions options;
  options.replace = true;
  options.asEditCopy = true;
  options.finishStaging = [config](const std::string& folder, bool asEditCopy) {
    return !asEditCopy || WriteConfigAsText(folder, config);
  };
  std::vector<std::string> warnings;
  for (const CDP::LeftOutFile& file : leftOut) warnings.push_back(CDP::LeftOutText(file));
  return installed + batch.Add(kuid, staging, std::move(options), nullptr, std::move(warnings));
}

// Checks the asset folder `folder` and copies it into a staging folder of
// the store, then adds it to `batch`. Answers the assets installed on the
// way (as StageEntry); `outcome` receives the folder's outcome once it is
// installed.
uint32_t StageFolder(DaemonRequest& request, AssetStore& store, InstallQuestions* questions,
                     const std::string& folder, InstallBatch& batch,
                     AssetStore::InstallOutcome* outcome) {
  uint32_t installed = 0;
  const auto fail = [&](const std::string& text, const KUID* subject = nullptr) {
    installed += batch.Install();
    Fail(request, text, subject);
    return installed;
  };
  std::error_code error;
  if (!fs::is_directory(folder, error))
    return fail("Unable to install '" + folder + "': it is not a folder.");
  Soup config;
  bool readable = false;
  {
    // Read as the copy reads the folder: never through a link out of it.
    const Kiv::ConfinedFolder confined(folder);
    readable = LoadAssetFolderConfig(folder, &config);
  }
  if (!readable)
    return fail("Unable to install '" + folder +
                "': it holds no readable config.chump or config.txt.");
  const KUID kuid = KUIDAsWritten(config);
  if (kuid.IsNull())
    return fail("Unable to install '" + folder + "': its configuration names no valid KUID.");
  const std::string unkept = KUIDStorageProblem(kuid);
  if (!unkept.empty()) return fail("Unable to install " + Tag(kuid) + ": " + unkept + ".");
  if (!MayInstall(request, store, questions, batch, GetAssetDisplayName(config), kuid, installed))
    return installed;
  std::string staging;
  const StoreResult staged = store.StageFolder(folder, &staging);
  if (!staged.Ok()) return fail("Unable to install " + Tag(kuid) + ": " + staged.message, &kuid);
  const std::string cut = CompileFolderTextures(request, staging, kuid, true);
  if (!cut.empty()) {
    store.DiscardStagingFolder(staging);
    return fail(NotInstalledText(kuid, cut), &kuid);
  }
  AssetStore::InstallOptions options;
  options.replace = true;
  return installed + batch.Add(kuid, staging, std::move(options), outcome);
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
  if (count == 0) {
    Fail(request, CDP::NoAssetError(archivePath));
    return result;
  }
  InstallBatch batch(request, store);
  for (uint32_t i = 0; i < count; ++i) {
    if (request.Connection().IsClosed()) break;  // Nobody waits for the rest.
    CDPEntry entry = CDP::GetAssetAt(archive, i);
    result.installed += StageEntry(request, store, questions, archivePath, entry, batch);
  }
  result.installed += batch.Install();
  result.complete = result.installed == count;
  return result;
}

std::vector<FolderInstallResult> InstallAssetFolders(DaemonRequest& request, AssetStore& store,
                                                     InstallQuestions* questions,
                                                     const std::vector<std::string>& folders) {
  std::vector<AssetStore::InstallOutcome> outcomes(folders.size());
  InstallBatch batch(request, store);
  size_t sent = 0;
  for (; sent < folders.size(); ++sent) {
    // The first folder goes in whatever happens, as a lone folder always
    // did; once the tool is gone, nobody waits for the rest.
    if (sent != 0 && request.Connection().IsClosed()) break;
    StageFolder(request, store, questions, folders[sent], batch, &outcomes[sent]);
  }
  batch.Install();
  std::vector<FolderInstallResult> results(sent);
  for (size_t i = 0; i < sent; ++i) {
    results[i].kuid = outcomes[i].kuid;
    results[i].replaced = outcomes[i].replaced;
  }
  return results;
}

FolderInstallResult InstallAssetFolder(DaemonRequest& request, AssetStore& store,
                                       InstallQuestions* questions, const std::string& folder) {
  std::vector<FolderInstallResult> results =
      InstallAssetFolders(request, store, questions, {folder});
  return results.empty() ? FolderInstallResult() : results.front();
}
