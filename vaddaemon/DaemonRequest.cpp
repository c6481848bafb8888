#include "vaddaemon/DaemonRequest.h"

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADFrames.h"
#include "assetdb/protocol/VADNotification.h"
#include "foundation/base/LogMessage.h"
#include "vaddaemon/DaemonConnection.h"

DaemonRequest::DaemonRequest(uint32_t code, uint32_t id, std::vector<uint8_t> body,
                             std::shared_ptr<DaemonConnection> connection, DaemonContext& context)
    : code_(code), id_(id), connection_(std::move(connection)), context_(context) {
  if (!body.empty()) body_.Write(body.data(), uint32_t(body.size()));
  body_.SeekTo(0);
}

uint32_t DaemonRequest::BodyRemaining() {
  const uint32_t at = body_.Tell();
  const uint32_t size = bodyData_.DataLength();
  return at < size ? size - at : 0;
}

bool DaemonRequest::SendMessages(ResultsLog& log, uint32_t firstIndex) {
  if (id_ == 0) return !connection_->IsClosed();
  Kiv::DynamicBuffer data;
  TBuffer payload(&data);
  TStreamWriteU32(payload, id_);
  log.WriteMessages(payload, firstIndex);
  if (payload.GetError() != TStream::kErrorNone) return false;
  return connection_->SendNote(VADNotification::kCodeResults, data.Data(), data.DataLength());
}

bool DaemonRequest::SendMessageBatch(const uint8_t* batch, uint32_t length) {
  if (id_ == 0) return !connection_->IsClosed();
  std::vector<uint8_t> payload;
  VADFrames::PutU32(payload, id_);
  payload.insert(payload.end(), batch, batch + length);
  return connection_->SendNote(VADNotification::kCodeResults, payload);
}

bool DaemonRequest::SendMessage(uint32_t severity, std::string_view text, const KUID* subject) {
  ResultsLog log;
  log.AddResult(severity, subject != nullptr ? AssetSubject(*subject) : PropertyRef(),
                Kiv::String(text));
  return SendMessages(log);
}

bool DaemonRequest::SendNote(uint32_t code, const std::vector<uint8_t>& payload) {
  return connection_->SendNote(code, payload);
}

uint32_t DaemonRequest::ReplyToSend(const uint8_t** data) const {
  if (reply_.GetError() != TStream::kErrorNone) {
    LogMessage("vaddaemon> reply to request 0x%X could not be written whole; sending it empty",
               code_);
    *data = nullptr;
    return 0;
  }
  *data = ReplyData();
  return ReplyLength();
}

void DaemonRequest::SendReply() {
  if (id_ == 0 || replySent_.exchange(true)) return;
  const uint8_t* data = nullptr;
  const uint32_t length = ReplyToSend(&data);
  connection_->SendReply(id_, data, length);
}

void DaemonRequest::SendMessageBatchAndReply(const uint8_t* batch, uint32_t length) {
  if (id_ == 0 || replySent_.exchange(true)) {
    SendMessageBatch(batch, length);
    return;
  }
  std::vector<uint8_t> payload;
  VADFrames::PutU32(payload, id_);
  payload.insert(payload.end(), batch, batch + length);
  const uint8_t* data = nullptr;
  const uint32_t replyLength = ReplyToSend(&data);
  connection_->SendNoteAndReply(VADNotification::kCodeResults, payload.data(),
                                uint32_t(payload.size()), id_, data, replyLength);
}

void DaemonRequest::RunAfterReply() {
  std::vector<std::function<void()>> work;
  work.swap(afterReply_);
  for (auto& item : work) item();
}
