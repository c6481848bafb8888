#include "cli/ParseCDPForFetchery.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "assetdb/archive/CDPChecksum.h"
#include "assetdb/archive/CDPExtract.h"
#include "assetdb/client/AssetInfoQueries.h"
#include "assetdb/client/AssetInstall.h"
#include "assetdb/client/InstallAssetWithPrompts.h"
#include "assetdb/client/VADAssetHandle.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/AssetStatus.h"
#include "cli/CommandArgs.h"
#include "cli/ValidateAsset.h"
#include "foundation/layout/ContentPath.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "gsnative/FetcheryQuery.h"
#include "kiv/File.h"

namespace {

constexpr uint32_t kCreateCDPParts = 3;
constexpr uint32_t kThumbnailSelector = 0xF0;

void AddInfo(ResultsLog& log, const char* format, std::string_view value) {
  const Kiv::String text(value);
  char buffer[4096];
  std::snprintf(buffer, sizeof buffer, format, text.c_str());
  log.AddResult(ResultsLog::kInformation, PropertyRef(), buffer);
}

KUIDList OneKUID(const KUID& kuid) {
  KUIDList list;
  list.Append(kuid);
  return list;
}

// Undoes the installs of a run that failed: the edit copies they moved
// aside go back, the last first, still open for edit; every other asset
// they installed (`kept`: those open for edit before the run) is reverted.
void RevertAll(const std::vector<KUID>& installed, const std::vector<KUID>& kept,
               const std::vector<EditCopyAside>& asides, ResultsLog& log) {
  for (auto it = asides.rbegin(); it != asides.rend(); ++it) PutEditCopyBack(*it, &log);
  for (const KUID& kuid : installed) {
    if (std::find(kept.begin(), kept.end(), kuid) != kept.end()) continue;
    VADAssetHandleRef ref;
    VADClient::Request1E(kuid, true, ref, nullptr);
    VADClient::RevertAsset(ref, &log);
  }
}

void CommitAll(const std::vector<KUID>& installed, ResultsLog& log) {
  for (const KUID& kuid : installed) {
    VADAssetHandleRef ref;
    VADClient::Request1E(kuid, true, ref, nullptr);
    VADClient::CommitAsset(ref, 0, &log);
    ReleaseAssetHandle(ref);
  }
}

void AddSummary(const KUID& kuid, ResultsLog& log) {
  AssetRecord record;
  VADClient::GetAssetInfo(kuid, kAssetInfoMaskStatus, record);
  AddInfo(log, "Name: %s", EscapeLineBreaks(GetAssetInfoField(kuid)));
  AddInfo(log, "Description: %s", EscapeLineBreaks(VADClient::Request1C(kuid)));
  char build[32];
  std::snprintf(build, sizeof build, "%.1f", static_cast<double>(record.build));
  AddInfo(log, "Vandru-build: %s", build);
  KUIDList dependencies;
  VADClient::Request2A(OneKUID(kuid), dependencies);
  AddInfo(log, "Dependencies: %s", KUIDListToText(dependencies));
  KUIDList obsoletes;
  VADClient::Request2B(kuid, obsoletes);
  AddInfo(log, "Obsoletes: %s", KUIDListToText(obsoletes));
}

void WriteThumbnail(const KUID& kuid, const Soup& archive, const Kiv::String& path) {
  Kiv::PString location;
  Kiv::String file;
  uint32_t number = 0;
  if (VADClient::Request1D(kuid, kThumbnailSelector, location, file, number) &&
      Kiv::File::Path(file).IsExt("jpg")) {
    CopyContentFile(location, Kiv::File::Path(file), Kiv::PString(), Kiv::File::Path(path));
    return;
  }
  const CoreRef data = CDP::GetTagData(archive, Kiv::PString("thumbnail"));
  if (!data) return;
  Kiv::PString message;
  CDP::WriteContentFile(message, data, Kiv::PString(), Kiv::File::Path(path),
                        CDP::GetCompression(archive));
}

void AddConfigSummary(const KUID& kuid, ResultsLog& log) {
  Soup config;
  VADClient::GetAssetConfig(kuid, config);
  AddInfo(log, "kind: %s", config.GetNamedTag(Kiv::PString("kind")).View());
  const KUID alias = config.GetNamedTagAsKUID(Kiv::PString("alias"), kNullKUID);
  AddInfo(log, "alias-kuid: %s", KUIDToTagString(alias).View());
  AddInfo(log, "category-region: %s", EscapeLineBreaks(GetAssetInfoTextA(kuid)));
  AddInfo(log, "category-era: %s", EscapeLineBreaks(GetAssetInfoTextB(kuid)));
  AddInfo(log, "category-class: %s",
          EscapeLineBreaks(config.GetNamedTag(Kiv::PString("category-class")).View()));
}

void ReportAsset(const KUID& kuid, const Soup& archive, const Kiv::File::Path& outputFolder,
                 ResultsLog& log) {
  log.PushSubject(AssetSubject(kuid));
  PrintAssetStatus(kuid, log);
  ValidateAsset(kuid, log);
  AddSummary(kuid, log);
  Kiv::File::Path base = outputFolder;
  base.AddPath(KUIDToKeywordString(kuid));
  WriteAssetToCDP(kuid, base.Str() + ".cdp", log);
  WriteThumbnail(kuid, archive, base.Str() + ".jpg");
  AddConfigSummary(kuid, log);
  log.PopSubject();
}

}  // namespace

Kiv::String EscapeLineBreaks(std::string_view text) {
  Kiv::String out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      out += "\\\\";
      continue;
    }
    if (c != '\r' && c != '\n') {
      out += c;
      continue;
    }
    out += "\\n";
    const char pair = c == '\r' ? '\n' : '\r';
    if (i + 1 < text.size() && text[i + 1] == pair) ++i;
  }
  return out;
}

Kiv::String KUIDListToText(KUIDList& list) {
  Kiv::String text;
  for (const KUID& kuid : list) {
    if (!text.empty()) text += ", ";
    text += KUIDToTagString(kuid).Str();
  }
  return text;
}

void InstallMissingDependencies(const KUID& kuid) {
  for (int pass = 0; pass < kMaxDependencyPasses; ++pass) {
    KUIDList dependencies;
    VADClient::Request2A(OneKUID(kuid), dependencies);
    bool again = false;
    for (const KUID& dependency : dependencies) again = QueryFetcheryForAsset(dependency, nullptr);
    if (!again) return;
  }
}

bool WriteAssetToCDP(const KUID& kuid, const Kiv::String& path, ResultsLog& log) {
  Soup entry;
  CreateCDP(entry, kuid, &log, kCreateCDPParts);
  Soup archive;
  archive.Create();
  CDP::SetDSID(entry);
  Kiv::PString message;
  CDP::AddContent(archive, message, entry);
  message = Kiv::PString();
  CDP::WriteArchive(archive, message, path);
  if (message.Empty()) return true;
  log.AddResult(ResultsLog::kError, PropertyRef(),
                "Unable to write asset to CDP: " + Kiv::String(message.View()));
  return false;
}

bool ParseCDPForFetchery(const Kiv::String& path, ResultsLog& log) {
  const uint32_t errorsBefore = log.GetErrorCount();
  Soup archive;
  Kiv::PString message;
  CDP::OpenArchive(archive, message, path);
  if (!message.Empty()) {
    Soup parameters;
    parameters.SetNamedTag(Kiv::PString("file_path"), path);
    log.AddResult(ResultsLog::kError, PropertyRef(), GetInterfaceText("$vad_unreadable_cdp"),
                  &parameters);
    return false;
  }

  const uint32_t count = CDP::GetAssetCount(archive);
  if (count == 0) {
    log.AddResult(ResultsLog::kError, PropertyRef(), CDP::NoAssetError(path));
    return false;
  }
  std::vector<KUID> installed;
  // The assets whose first install of the run found them open for edit,
  // and the edit copies the installs moved aside, settled once the run
  // stands.
  std::vector<KUID> wereOpen;
  std::vector<EditCopyAside> asides;
  for (uint32_t i = 0; i < count; ++i) {
    CDPEntry entry = CDP::GetAssetAt(archive, i);
    bool commitFlag = false;
    const size_t asidesBefore = asides.size();
    const KUID kuid = InstallAssetWithPrompts(entry.soup, &log, 0, &commitFlag, nullptr, &asides);
    if (kuid.IsNull()) continue;
    if (std::find(installed.begin(), installed.end(), kuid) != installed.end()) continue;
    installed.push_back(kuid);
    if (asides.size() != asidesBefore) wereOpen.push_back(kuid);
  }
  if (log.GetErrorCount() != errorsBefore) {
    RevertAll(installed, wereOpen, asides, log);
    log.AddResult(ResultsLog::kError, PropertyRef(), "Aborted processing");
    return false;
  }

  for (const KUID& kuid : installed) InstallMissingDependencies(kuid);
  Kiv::File::Path outputFolder(path);
  outputFolder.DelName();
  CommitAll(installed, log);
  for (const EditCopyAside& copy : asides) SettleEditCopy(copy, &log);
  for (const KUID& kuid : installed) ReportAsset(kuid, archive, outputFolder, log);
  return true;
}

int32_t FcyParseCommand(ResultsLog& log, EngineObjects& /*engine*/, int argc, char** argv) {
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, "Missing CDP filepath.");
    return kCommandFailed;
  }
  return ParseCDPForFetchery(ArgumentPath(argc, argv, 2).Str(), log) ? kCommandSucceeded
                                                                     : kCommandFailed;
}
