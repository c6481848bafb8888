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

void DaemonRequest::SendReply() {
  if (id_ == 0 || replySent_.exchange(true)) return;
  const bool damaged = reply_.GetError() != TStream::kErrorNone;
  if (damaged)
    LogMessage("vaddaemon> reply to request 0x%X could not be written whole; sending it empty",
               code_);
  connection_->SendReply(id_, damaged ? nullptr : ReplyData(), damaged ? 0 : ReplyLength());
}

void DaemonRequest::RunAfterReply() {
  std::vector<std::function<void()>> work;
  work.swap(afterReply_);
  for (auto& item : work) item();
}
