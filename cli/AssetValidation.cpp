#include "cli/AssetValidation.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "assetdb/client/InstallAssetWithPrompts.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/AssetText.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "cli/PackedContentSet.h"
#include "cli/ScriptCompile.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/layout/AssetConfigFile.h"
#include "foundation/layout/AssetFolderEntries.h"
#include "foundation/layout/ContentSetFolder.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/soup/HeldConfigText.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/threads/JobDeadline.h"
#include "foundation/threads/TCXCallbackCPPVoidPtr.h"
#include "foundation/threads/WorkerThread.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "kiv/File.h"
#include "kiv/FileConfinement.h"
#include "tetlib/Container.h"
#include "tetlib/DataManager.h"
#include "tetlib/TETLib.h"

namespace {

std::recursive_mutex& ValidationLock() {
  static std::recursive_mutex lock;
  return lock;
}

void AddError(ResultsLog& log, const Kiv::String& text, const Soup* parameters = nullptr) {
  log.AddResult(ResultsLog::kError, PropertyRef(), text, parameters);
}

// True when the folder lies in the content area (a content location holds
// it); a folder named by the daemon is never taken from elsewhere.
bool ResolvesToContent(const Kiv::String& folder) {
  Kiv::PString location;
  Kiv::File::Path relative;
  return ResolveContentPath(Kiv::File::Path(folder), &location, &relative);
}

// The sets whose textures are converted when they are validated.
bool ConvertsTextures(const Kiv::PString& contentSet) {
  return contentSet.Str() != "editing" && contentSet.Str() != "base";
}

class ValidateAssetTask {
 public:
  ValidateAssetTask(const Kiv::PString& contentSet, const Kiv::String& folder, ResultsLog& log)
      : contentSet_(contentSet), folder_(folder), log_(log) {}

  void Run(void*) { result_ = ValidateAssetFolder(log_, contentSet_, folder_); }
  bool Result() const { return result_; }

 private:
  Kiv::PString contentSet_;
  Kiv::String folder_;
  ResultsLog& log_;
  bool result_ = false;
};

constexpr uint32_t kValidateTaskFlags = 7;

// The configuration of a folder given by its full path, read through the
// content location that holds it.
bool LoadFolderConfig(const Kiv::PString& contentSet, const Kiv::String& folder, Soup& config) {
  Kiv::PString location;
  Kiv::File::Path relative;
  if (!ResolveContentPath(Kiv::File::Path(folder), &location, &relative)) return false;
  return LoadAssetConfig(contentSet.Empty() ? location : contentSet, relative.Str(), config);
}

bool g_scriptSystemReady = false;

// The steps of ValidateAssetFolder once the folder's reads are confined.
bool ValidateConfinedFolder(ResultsLog& log, const Kiv::PString& contentSet,
                            const Kiv::String& folder, const std::vector<std::string>& entries);

}  // namespace

bool WriteAssetValidationRequest(const Kiv::PString& contentSet, const Kiv::String& folder,
                                 TStream& body, bool* answer) {
  *answer = false;
  if (!ResolvesToContent(folder)) return false;
  *answer = true;
  if (IsPackedContentSet(contentSet)) return false;
  body.WritePString(contentSet);
  body.WriteString(folder);
  return true;
}

bool RequestAssetValidation(const Kiv::PString& contentSet, const Kiv::String& folder,
                            ResultsLog& log) {
  VADRequest request;
  bool answer = false;
  if (!WriteAssetValidationRequest(contentSet, folder, request.Body(), &answer)) return answer;
  if (!request.Transact(VADRequestCode::kValidate, &log, false)) return false;
  bool valid = false;
  TStreamReadBool(request.Reply(), valid, false);
  return valid;
}

bool RunValidateAssetTask(const Kiv::PString& contentSet, const Kiv::String& folder,
                          ResultsLog& log) {
  ValidateAssetTask task(contentSet, folder, log);
  auto* callback = new TCXCallbackCPPVoidPtr<ValidateAssetTask>(&task, &ValidateAssetTask::Run);
  if (!WorkerThread::Get().Post(callback, kValidateTaskFlags)) return false;
  return task.Result();
}

bool ValidateAssetFolder(ResultsLog& log, const Kiv::PString& contentSet,
                         const Kiv::String& folder) {
  if (!ResolvesToContent(folder)) return false;
  if (IsPackedContentSet(contentSet)) return true;

  TrimResourceCaches();
  bool found = false;
  ContentSetFolder hold = AcquireContentSetFolder(contentSet, &found);
  std::lock_guard<std::recursive_mutex> guard(ValidationLock());

  TETLib::DataManager* manager = TETLib::DataManager::Instance();
  manager->EnsureLanguageData();
  manager->SetCompiledTextureCheckOff(false);
  manager->SetConvertTextures(ConvertsTextures(contentSet));

  // Nothing is read through a link that leads out of the asset folder, nor
  // from a pipe or device: what the search names is refused before
  // anything is read, and every read below the folder is confined to it,
  // so a link swapped meanwhile is refused as it is met.
  std::vector<std::string> entries;
  const std::vector<std::string> refused = RefusedFolderEntries(folder, &entries);
  for (const std::string& text : refused) AddError(log, text);
  if (!refused.empty()) return false;
  Kiv::ConfinedFolder confined(folder);
  const bool valid = ValidateConfinedFolder(log, contentSet, folder, entries);
  const std::vector<std::string> refusedReads = RefusedReadTexts(confined);
  for (const std::string& text : refusedReads) AddError(log, text);
  return valid && refusedReads.empty();
}

namespace {

bool ValidateConfinedFolder(ResultsLog& log, const Kiv::PString& contentSet,
                            const Kiv::String& folder, const std::vector<std::string>& entries) {
  TETLib::DataManager* manager = TETLib::DataManager::Instance();

  Kiv::PString configName;
  const Kiv::String configPath = FindAssetConfigFile(folder, &configName, &entries);
  if (configPath.empty()) {
    Soup parameters;
    parameters.SetNamedTag(Kiv::PString("file_path"), Kiv::PString(folder));
    AddError(log, GetInterfaceText("$vad_unable_read_config_at"), &parameters);
    return false;
  }

  // Every step below reads the configuration: a text one is read once.
  std::optional<HeldConfigText> held;
  if (configName.Str() == "config.txt") held.emplace(folder, configPath);

  TETLib::Container container;
  manager->SetAssetFolder(contentSet, Kiv::File::Path(folder));
  manager->SetConfigFileName(configName);
  const uint32_t errorsBefore = log.GetErrorCount();
  RunValidationChecks(container, configPath, contentSet, log);
  if (log.GetErrorCount() != errorsBefore) return false;
  // A bounded job out of time does not start compiling.
  if (JobDeadlinePassed()) return false;
  return VADCompileAsset(log, contentSet, folder);
}

}  // namespace

void RunValidationChecks(TETLib::Container& container, const Kiv::String& configPath,
                         const Kiv::PString& contentSet, ResultsLog& log) {
  std::lock_guard<std::recursive_mutex> guard(ValidationLock());
  if (TETLib::BeginAssetValidation(contentSet, Kiv::File::Path(configPath), log, &container))
    TETLib::RunAssetChecks(container, log);
  PurgeUnusedResources();
  TETLib::DataManager::Instance()->SetMeshFailureReported(false);
}

bool VADCompileAsset(ResultsLog& log, const Kiv::PString& contentSet, const Kiv::String& folder) {
  if (!g_scriptSystemReady) g_scriptSystemReady = RegisterNativeLibraries();
  if (!g_scriptSystemReady) {
    AddError(log, "VADCompileAsset unable to initialise script system");
    return false;
  }
  Soup config;
  if (!LoadFolderConfig(contentSet, folder, config)) {
    AddError(log, "VADCompileAsset unable to load asset config");
    return false;
  }
  // As written: a KUID that a KUID tag cannot keep names no other asset.
  const KUID kuid = GetNamedKUIDAsWritten(config, Kiv::PString("kuid"));
  if (kuid.IsNull()) {
    AddError(log, "VADCompileAsset unable to determine asset KUID");
    return false;
  }
  return CompileAssetScripts(log, kuid, contentSet, folder);
}

KUID FolderAssetKUID(const Kiv::PString& contentSet, const Kiv::String& folder) {
  const Kiv::ConfinedFolder confined(folder);
  Soup config;
  if (!LoadFolderConfig(contentSet, folder, config)) return kNullKUID;
  return GetNamedKUIDAsWritten(config, Kiv::PString("kuid"));
}
