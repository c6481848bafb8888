#include "assetdb/client/VADRequest.h"

#include "assetdb/client/VADClient.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/KUID.h"

namespace {

constexpr uint32_t kKUIDBytes = 8;

}  // namespace

VADRequest::VADRequest() = default;

bool VADRequest::Transact(uint32_t code, ResultsLog* log, bool keepResults) {
  TStreamRewind(body_);
  const bool ok = VADClient::Transact(code, body_, reply_, nullptr, log, keepResults);
  TStreamRewind(reply_);
  return ok;
}

bool VADRequest::Start(uint32_t code, bool mayConnect, ResultsLog* log,
                       std::shared_ptr<ReplySignal> done) {
  code_ = code;
  log_ = log;
  TStreamRewind(body_);
  transaction_.emplace(nullptr, log, false);
  transaction_->SetReplyStream(&reply_);
  transaction_->SetDoneSignal(std::move(done));
  transaction_->Begin();
  started_ = VADClient::StartTransact(code, body_, *transaction_, mayConnect);
  if (started_ != VADClient::StartResult::kSent) transaction_.reset();
  return started_ != VADClient::StartResult::kFailed;
}

bool VADRequest::Answered() const {
  return started_ != VADClient::StartResult::kSent || transaction_->Answered();
}

bool VADRequest::Finish(bool repeatWhenLost) {
  if (started_ == VADClient::StartResult::kNotSent) return Transact(code_, log_);
  if (started_ == VADClient::StartResult::kFailed) return false;
  bool lost = false;
  const bool ok = VADClient::FinishTransact(code_, *transaction_, repeatWhenLost ? &lost : nullptr);
  transaction_.reset();
  started_ = VADClient::StartResult::kFailed;
  if (lost) {
    // A body cut off half way may have left bytes in the reply.
    reply_.Reset();
    return Transact(code_, log_);
  }
  TStreamRewind(reply_);
  return ok;
}

void VADRequest::Settle() {
  if (transaction_) transaction_->Wait();
  transaction_.reset();
  started_ = VADClient::StartResult::kFailed;
}

bool VADRequest::Post(uint32_t code) {
  TStreamRewind(body_);
  return VADClient::Post(code, body_);
}

uint32_t VADRequest::ReplyRemaining() {
  const uint32_t size = reply_.GetSize();
  const uint32_t at = reply_.Tell();
  return at < size ? size - at : 0;
}

void WriteKUIDList(TStream& stream, const KUIDList& list) {
  TStreamWriteU32(stream, list.Count());
  // The chunked list offers only mutable iteration; nothing is changed.
  for (const KUID& kuid : const_cast<KUIDList&>(list)) WriteKUID(stream, kuid);
}

uint32_t ReadKUIDList(TStream& stream, uint32_t available, KUIDList& out) {
  uint32_t count = 0;
  TStreamReadU32(stream, count, 0);
  available = available >= 4 ? available - 4 : 0;
  const uint32_t present = available / kKUIDBytes;
  if (count > present) {
    stream.SetError(TStream::kErrorShortRead);
    count = present;
  }
  for (uint32_t i = 0; i < count; ++i) out.Append(ReadKUID(stream));
  return count;
}
