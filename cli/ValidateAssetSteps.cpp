#include "cli/ValidateAssetSteps.h"

#include <utility>

#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "cli/AssetValidation.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

constexpr int kLowestBuildTimes100 = 270;

// Adds to `lost` the requests of the calling thread that were lost while
// the scope ran.
class LostRequestTally {
 public:
  explicit LostRequestTally(uint64_t& lost)
      : lost_(lost), before_(VADClient::LostRequestCountOfThisThread()) {}
  ~LostRequestTally() { lost_ += VADClient::LostRequestCountOfThisThread() - before_; }
  LostRequestTally(const LostRequestTally&) = delete;
  LostRequestTally& operator=(const LostRequestTally&) = delete;

 private:
  uint64_t& lost_;
  const uint64_t before_;
};

}  // namespace

ValidateAssetSteps::ValidateAssetSteps(const KUID& kuid, ResultsLog& log,
                                       std::shared_ptr<ReplySignal> done)
    : kuid_(kuid), log_(log), done_(std::move(done)) {}

ValidateAssetSteps::~ValidateAssetSteps() {
  if (request_) request_->Settle();
  request_.reset();
  if (subjectPushed_) log_.PopSubject();
  ReleaseAssetHandle(ref_);
}

void ValidateAssetSteps::Start() {
  if (step_ != Step::kIdle) return;
  request_.emplace();
  WriteKUID(request_->Body(), kuid_);
  TStreamWriteBool(request_->Body(), false);
  Send(VADRequestCode::kOpenHandle, &log_, Step::kHandle);
}

bool ValidateAssetSteps::Ready() const {
  return !request_ || request_->Answered();
}

void ValidateAssetSteps::Advance() {
  switch (step_) {
    case Step::kIdle:
      Start();
      return;
    case Step::kHandle:
      TakeHandle();
      return;
    case Step::kRecord:
      TakeRecord();
      return;
    case Step::kValidation:
      // What the daemon found is in the log; its answer is not needed.
      Receive();
      looked_ = true;
      EndLook();
      return;
    case Step::kRelease:
      Receive();
      step_ = Step::kDone;
      return;
    case Step::kDone:
      return;
  }
}

void ValidateAssetSteps::Send(uint32_t code, ResultsLog* log, Step next) {
  LostRequestTally tally(lost_);
  step_ = next;
  request_->Start(code, true, log, done_);
}

bool ValidateAssetSteps::Receive() {
  LostRequestTally tally(lost_);
  return request_->Finish(false);
}

void ValidateAssetSteps::TakeHandle() {
  if (!Receive() || !ReadOpenHandleReply(request_->Reply(), kuid_, ref_) || !ref_.Valid()) {
    request_.reset();
    step_ = Step::kDone;
    return;
  }
  bool opened = false;
  {
    LostRequestTally tally(lost_);
    opened = VADClient::OpenForEdit(ref_.handle, contentSet_, folder_);
  }
  if (!opened) {
    Release();
    return;
  }
  log_.PushSubject(AssetSubject(kuid_));
  subjectPushed_ = true;
  request_.emplace();
  WriteKUID(request_->Body(), kuid_);
  TStreamWriteU32(request_->Body(), kAssetInfoMaskStatus);
  Send(VADRequestCode::kGetAssetInfo, nullptr, Step::kRecord);
}

void ValidateAssetSteps::TakeRecord() {
  AssetRecord record;
  looked_ = true;
  if (!Receive() || !ReadAssetInfoRecord(request_->Reply(), record)) {
    log_.AddResult(ResultsLog::kError, AssetSubject(kuid_),
                   "Unable to read the asset's information.");
    EndLook();
    return;
  }
  if (record.kuid.IsNull()) {
    // The daemon knows no such asset: it was removed after the handle was
    // opened, and has no build to judge.
    Soup parameters;
    parameters.SetNamedTag(Kiv::PString("asset_kuid"), KUIDToTagString(kuid_));
    log_.AddResult(ResultsLog::kError, AssetSubject(kuid_),
                   GetInterfaceText("$vad_validate_not_installed"), &parameters);
    EndLook();
    return;
  }
  if (static_cast<int>(record.build * 100.0f) < kLowestBuildTimes100) {
    Soup parameters;
    parameters.SetNamedTag(Kiv::PString("asset_kuid"), KUIDToTagString(kuid_));
    parameters.SetNamedTag(Kiv::PString("lowest_vandrubuild"), "2.7");
    log_.AddResult(ResultsLog::kError, AssetSubject(kuid_),
                   GetInterfaceText("$vad_upload_asset_obsolete"), &parameters);
    EndLook();
    return;
  }
  request_.emplace();
  bool answer = false;
  if (!WriteAssetValidationRequest(contentSet_, folder_.Str(), request_->Body(), &answer)) {
    EndLook();
    return;
  }
  Send(VADRequestCode::kValidate, &log_, Step::kValidation);
}

void ValidateAssetSteps::EndLook() {
  if (subjectPushed_) log_.PopSubject();
  subjectPushed_ = false;
  Release();
}

void ValidateAssetSteps::Release() {
  const uint64_t daemonHandle = DropAssetHandle(ref_);
  if (daemonHandle == VADAssetHandle::kNoHandle) {
    request_.reset();
    step_ = Step::kDone;
    return;
  }
  request_.emplace();
  TStreamWriteU64(request_->Body(), daemonHandle);
  Send(VADRequestCode::kReleaseHandle, nullptr, Step::kRelease);
}
