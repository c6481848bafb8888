#include "gsnative/online/OnlineAccountSource.h"

#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/WebRequests.h"
#include "assetdb/protocol/URLRecord.h"

DaemonAccountSource::~DaemonAccountSource() { CloseWebLogin(); }

std::string DaemonAccountSource::GetOnlineUsername() {
  return VADClientRequests::GetOnlineUsername();
}

std::string DaemonAccountSource::GetCredential() { return VADClientRequests::RequestF2(); }

void DaemonAccountSource::ReportLoginRefused() { VADClientRequests::RequestF1(); }

void DaemonAccountSource::StartWebLogin() {
  CloseWebLogin();
  UrlRecord url;
  ParseUrl(kWebLoginUrl, url);
  request_ = DaemonHttpRequest::Start(url, DaemonHttpRequest::kModeQuery);
  if (request_ != nullptr && request_->GetHandle() == DaemonHttpRequest::kNoHandle) {
    DaemonHttpRequest::Delete(request_);
    request_ = nullptr;
  }
  startFailed_ = request_ == nullptr;
}

bool DaemonAccountSource::WebLoginDone(uint32_t& result) {
  if (startFailed_) {
    result = kStartFailed;
    return true;
  }
  if (request_ == nullptr || !request_->IsDone()) return false;
  result = request_->GetResult();
  return true;
}

void DaemonAccountSource::CloseWebLogin() {
  startFailed_ = false;
  if (request_ == nullptr) return;
  request_->Close();
  DaemonHttpRequest::Delete(request_);
  request_ = nullptr;
}
