#include "cli/ParseCDPForFetchery.h"

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

void RevertAll(const std::vector<KUID>& installed, ResultsLog& log) {
  for (const KUID& kuid : installed) {
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
  for (uint32_t i = 0; i < count; ++i) {
    CDPEntry entry = CDP::GetAssetAt(archive, i);
    bool commitFlag = false;
    const KUID kuid = InstallAssetWithPrompts(entry.soup, &log, 0, &commitFlag, nullptr);
    if (kuid.IsNull()) continue;
    bool known = false;
    for (const KUID& other : installed) known = known || other == kuid;
    if (!known) installed.push_back(kuid);
  }
  if (log.GetErrorCount() != errorsBefore) {
    RevertAll(installed, log);
    log.AddResult(ResultsLog::kError, PropertyRef(), "Aborted processing");
    return false;
  }

  for (const KUID& kuid : installed) InstallMissingDependencies(kuid);
  Kiv::File::Path outputFolder(path);
  outputFolder.DelName();
  CommitAll(installed, log);
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
