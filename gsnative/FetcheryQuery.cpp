#include "gsnative/FetcheryQuery.h"

#include <cstdio>
#include <string>

#include "assetdb/client/AssetInstall.h"
#include "assetdb/client/IdleStep.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/client/WebRequests.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/URLRecord.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/soup/PropertyRef.h"
#include "foundation/threads/WorkerThread.h"
#include "gsnative/FetcheryInputChecks.h"
#include "gsnative/FetcherySettings.h"
#include "kiv/Time.h"

namespace {

constexpr uint32_t kInstallMode = 6;
constexpr uint32_t kPassMs = 50;

constexpr const char* kSearchFailed = "Failed to query FCY for $(assetid)";
constexpr const char* kDownloadFailed = "Failed to resolve download path for $(assetid)";
constexpr const char* kArchiveMember = "Internal error: GetFilePath returned archive";

void AddError(ResultsLog* log, const std::string& text) {
  if (log != nullptr) log->AddResult(ResultsLog::kError, PropertyRef(), Kiv::String(text));
}

// One of the messages with "$(assetid)", filled with the KUID's tag form.
void AddAssetError(ResultsLog* log, const char* text, const KUID& kuid) {
  if (log == nullptr) return;
  Soup parameters;
  parameters.SetNamedTag(Kiv::PString("assetid"), KUIDToTagString(kuid));
  log->AddResult(ResultsLog::kError, PropertyRef(), Kiv::String(text), &parameters);
}

std::string Seconds(uint32_t ms) {
  char text[32];
  std::snprintf(text, sizeof(text), "%g", double(ms) / 1000.0);
  return text;
}

// A daemon web request, started at construction and closed and freed at
// destruction.
class WebFetch {
 public:
  WebFetch(const UrlRecord& url, uint32_t mode) : request_(DaemonHttpRequest::Start(url, mode)) {}
  ~WebFetch() { DaemonHttpRequest::Delete(request_); }
  WebFetch(const WebFetch&) = delete;
  WebFetch& operator=(const WebFetch&) = delete;

  // Waits until the request is done (see the header). False, with the
  // reason in `log`, when the wait ended without that: the bound passed or
  // the connection to the daemon was lost.
  bool Wait(ResultsLog* log) {
    const uint32_t boundMs = FetcherySettings::WaitMs();
    const uint64_t start = Kiv::Time::Ms();
    const bool onMainThread = IsMainThread();
    for (;;) {
      // Checked first: a poll without a connection would reconnect.
      if (!VADClient::IsConnected()) return Lost(log);
      if (request_->IsDone()) break;
      if (Kiv::Time::Ms() - start >= boundMs) return TimedOut(log, boundMs);
      Pass(onMainThread);
    }
    const uint32_t result = request_->GetResult();
    if (result == DaemonHttpRequest::kResultTimedOut) return TimedOut(log, boundMs);
    if (result == DaemonHttpRequest::kResultNoDaemon) return Lost(log);
    return true;
  }

  bool GetResultPath(Kiv::String& path, Kiv::PString& name) {
    return request_->GetResultPath(path, name);
  }

 private:
  static void Pass(bool onMainThread) {
    if (!onMainThread) {
      Kiv::Time::Delay(kPassMs);
      return;
    }
    WorkerThread::Get().WaitForWork(kPassMs);
    CollectStringGarbage();
  }

  bool Lost(ResultsLog* log) {
    AddError(log, "The connection to the asset-database daemon was lost during the web request: " +
                      UrlText());
    return false;
  }

  bool TimedOut(ResultsLog* log, uint32_t boundMs) {
    AddError(log, "The web request did not finish within " + Seconds(boundMs) +
                      " seconds: " + UrlText());
    return false;
  }

  std::string UrlText() const { return BuildUrl(request_->GetUrl()).Str(); }

  DaemonHttpRequest* request_;
};

// Asks the service about `kuid`; fills `records` from its answer. False
// (with the messages) when the search failed.
bool Search(const KUID& kuid, ResultsLog* log, FetcheryRecordList& records) {
  UrlRecord url;
  ParseUrl(FetcherySettings::SearchUrl(FetcherySettings::Host(), kuid).c_str(), url);
  Soup answer;
  {
    WebFetch search(url, DaemonHttpRequest::kModeQuery);
    Kiv::String path;
    Kiv::PString name;
    if (!search.Wait(log) || !search.GetResultPath(path, name)) {
      AddAssetError(log, kSearchFailed, kuid);
      return false;
    }
    if (!IsInDownloadFolder(DownloadFolder(), path)) {
      AddError(log, "The daemon's answer lies outside the download folder: " + path);
      AddAssetError(log, kSearchFailed, kuid);
      return false;
    }
    const AnswerLoad loaded = LoadFetcheryAnswer(path, answer);
    if (loaded != AnswerLoad::kLoaded) {
      AddError(log, loaded == AnswerLoad::kTooLarge
                        ? "The download service's answer is larger than " +
                              std::to_string(kMaxAnswerBytes) + " bytes: " + path
                        : "The download service's answer could not be read: " + path);
      AddAssetError(log, kSearchFailed, kuid);
      return false;
    }
  }
  ParseFetcheryAssetReply(answer, records);
  return true;
}

// Downloads and installs one record; true when the install reported an
// installed asset.
bool Install(FetcheryRecord& record, ResultsLog* log) {
  if (!IsUrlValid(record.downloadUrl)) return false;
  if (VADClient::IsAssetPresent(record.latestVersion)) return false;
  if (const char* why = RefuseDownloadUrl(record.downloadUrl, record.downloadUrlWhole)) {
    AddError(log, std::string("The download URL for ") +
                      KUIDToTagString(record.latestVersion).c_str() + " is refused: " + why + ".");
    return false;
  }
  UrlRecord url;
  ParseUrl(BuildUrl(record.downloadUrl).c_str(), url);
  WebFetch download(url, DaemonHttpRequest::kModeDownload);
  Kiv::String path;
  Kiv::PString name;
  if (!download.Wait(log) || !download.GetResultPath(path, name)) {
    AddAssetError(log, kDownloadFailed, record.latestVersion);
    return false;
  }
  if (!name.View().empty()) {
    AddError(log, kArchiveMember);
    return false;
  }
  if (!IsInDownloadFolder(DownloadFolder(), path)) {
    AddError(log, "The downloaded archive lies outside the download folder: " + path);
    AddAssetError(log, kDownloadFailed, record.latestVersion);
    return false;
  }
  ResultsLog own;
  bool allInstalled = false;
  return InstallCDP(path.c_str(), log != nullptr ? log : &own, kInstallMode, &allInstalled,
                    nullptr) > 0;
}

}  // namespace

bool QueryFetcheryForAsset(const KUID& kuid, ResultsLog* log) {
  if (!VADClient::IsOpen()) return false;
  KUID asked = VADClient::Request1B(kuid);
  if (asked.IsNull()) asked = kuid;
  if (VADClient::IsAssetPresent(asked)) return false;
  FetcheryRecordList records;
  if (!Search(asked, log, records)) return false;
  bool installed = false;
  for (FetcheryRecord& record : records) {
    if (Install(record, log)) installed = true;
  }
  records.Clear();
  return installed;
}
