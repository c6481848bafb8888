// DaemonRequest: one request as its handler sees it.
//
// Body() holds the request's payload, rewound; a handler reads it with the
// TStream readers and must treat it as untrusted (check the stream's error
// code, bound every count by the bytes left, BodyRemaining()). Reply() is
// empty at the start; what the handler writes there is the reply body,
// sent by the server after the handler returns when Id() is not 0. A
// request with id 0 (one-way) never gets a reply, whatever is written.
//
// Notifications for this request go out at once, in call order, on the
// request's connection: SendMessages (code 3: u32 id, then a message batch
// as ResultsLog::WriteMessages writes it) and SendNote (any code, payload
// as given). They answer false when the connection is gone; a handler may
// then stop early. Code-3 messages are sent only for a non-zero id (no log
// waits on id 0).
//
// SendReply sends the reply body written so far at once (an empty body
// when it could not be written whole), before the handler returns; the
// server then sends none. A handler uses it to answer from another thread
// while it still waits (the validate request answers on the thread that
// receives the command host's reply). Only the first call sends; never for
// id 0.
//
// ReaderStart is what the code's reader start began for this request on
// the connection's reader (RequestRegistry.h), or null. MarkReplySent tells
// the request that its reply went out by another way (from what the reader
// start began), so that the server sends none.
//
// AfterReply registers work run on the worker thread right after the reply
// has been sent (or would have been, for id 0), e.g. the close request ends
// the daemon only once its reply is out.
//
// One thread uses a request at a time (the worker, or a thread the handler
// hands it to while it waits, under a lock that orders the two); the connection it came on and
// the context are shared (see their headers).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/stream/TBuffer.h"
#include "foundation/text/KUID.h"
#include "kiv/DynamicBuffer.h"

class DaemonConnection;
class DaemonContext;
class ResultsLog;

class DaemonRequest {
 public:
  DaemonRequest(uint32_t code, uint32_t id, std::vector<uint8_t> body,
                std::shared_ptr<DaemonConnection> connection, DaemonContext& context);
  DaemonRequest(const DaemonRequest&) = delete;
  DaemonRequest& operator=(const DaemonRequest&) = delete;

  uint32_t Code() const { return code_; }
  uint32_t Id() const { return id_; }
  bool IsOneWay() const { return id_ == 0; }

  TStream& Body() { return body_; }
  // Payload bytes not yet read.
  uint32_t BodyRemaining();
  TStream& Reply() { return reply_; }
  // The reply body written so far.
  const uint8_t* ReplyData() const { return replyData_.Data(); }
  uint32_t ReplyLength() const { return replyData_.DataLength(); }

  DaemonConnection& Connection() const { return *connection_; }
  const std::shared_ptr<DaemonConnection>& SharedConnection() const { return connection_; }
  DaemonContext& Context() const { return context_; }

  // Code 3 with the messages of `log` from `firstIndex` on.
  bool SendMessages(ResultsLog& log, uint32_t firstIndex = 0);
  // Code 3 with a batch already in stream form (e.g. a command host's).
  bool SendMessageBatch(const uint8_t* batch, uint32_t length);
  // Code 3 with one message; `subject` (may be null) becomes its AssetID.
  bool SendMessage(uint32_t severity, std::string_view text, const KUID* subject = nullptr);
  bool SendNote(uint32_t code, const std::vector<uint8_t>& payload);

  void SendReply();
  // SendMessageBatch, then SendReply, both leaving together.
  void SendMessageBatchAndReply(const uint8_t* batch, uint32_t length);
  bool ReplySent() const { return replySent_.load(); }
  void MarkReplySent() { replySent_.store(true); }

  void SetReaderStart(std::shared_ptr<void> started) { readerStart_ = std::move(started); }
  // What the reader start began, as the type that start made.
  template <typename T>
  std::shared_ptr<T> ReaderStart() const {
    return std::static_pointer_cast<T>(readerStart_);
  }

  void AfterReply(std::function<void()> work) { afterReply_.push_back(std::move(work)); }
  // Runs the AfterReply work (the server calls it).
  void RunAfterReply();

 private:
  // The reply body to send: what was written, or nothing (logged) when it
  // could not be written whole.
  uint32_t ReplyToSend(const uint8_t** data) const;

  const uint32_t code_;
  const uint32_t id_;
  Kiv::DynamicBuffer bodyData_;
  TBuffer body_{&bodyData_};
  Kiv::DynamicBuffer replyData_;
  TBuffer reply_{&replyData_};
  std::shared_ptr<DaemonConnection> connection_;
  DaemonContext& context_;
  std::vector<std::function<void()>> afterReply_;
  std::atomic<bool> replySent_{false};
  std::shared_ptr<void> readerStart_;
};
