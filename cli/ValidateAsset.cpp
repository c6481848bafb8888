#include "cli/ValidateAsset.h"

#include "assetdb/client/VADAssetHandle.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/AssetValidation.h"
#include "cli/CommandArgs.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/InterfaceTextDB.h"

namespace {

constexpr int kLowestBuildTimes100 = 270;

// Pops the subject pushed for the asset when the scope ends.
class SubjectScope {
 public:
  SubjectScope(ResultsLog& log, const KUID& kuid) : log_(log) {
    log_.PushSubject(AssetSubject(kuid));
  }
  ~SubjectScope() { log_.PopSubject(); }
  SubjectScope(const SubjectScope&) = delete;
  SubjectScope& operator=(const SubjectScope&) = delete;

 private:
  ResultsLog& log_;
};

bool CheckOpenedAsset(const KUID& kuid, const Kiv::PString& contentSet, const Kiv::String& folder,
                      ResultsLog& log) {
  SubjectScope subject(log, kuid);
  AssetRecord record;
  if (!VADClient::GetAssetInfo(kuid, kAssetInfoMaskStatus, record)) {
    log.AddResult(ResultsLog::kError, AssetSubject(kuid),
                  "Unable to read the asset's information.");
    return true;
  }
  if (static_cast<int>(record.build * 100.0f) < kLowestBuildTimes100) {
    Soup parameters;
    parameters.SetNamedTag(Kiv::PString("asset_kuid"), KUIDToTagString(kuid));
    parameters.SetNamedTag(Kiv::PString("lowest_vandrubuild"), "2.7");
    log.AddResult(ResultsLog::kError, AssetSubject(kuid),
                  GetInterfaceText("$vad_upload_asset_obsolete"), &parameters);
    return true;
  }
  RequestAssetValidation(contentSet, folder, log);
  return true;
}

}  // namespace

bool ValidateAsset(const KUID& kuid, ResultsLog& log) {
  VADAssetHandleRef ref;
  if (!VADClient::Request1E(kuid, false, ref, &log) || !ref.Valid()) return false;
  Kiv::PString contentSet;
  Kiv::File::Path folder;
  const bool opened = VADClient::OpenForEdit(ref.handle, contentSet, folder);
  const bool looked = opened && CheckOpenedAsset(kuid, contentSet, folder.Str(), log);
  ReleaseAssetHandle(ref);
  return looked;
}

int32_t ValidateCommand(ResultsLog& log, EngineObjects& /*engine*/, int argc, char** argv) {
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, "Missing AssetID parameter.");
    return kCommandFailed;
  }
  return ValidateAsset(FirstArgumentKUID(argc, argv), log) ? kCommandSucceeded : kCommandFailed;
}
