// VADRequest: the shared pattern of every asset-database request function.
//
// A VADRequest holds a request body and a reply, each a TBuffer over its
// own Kiv::DynamicBuffer (the body's starts with 512 bytes). The caller
// writes the body fields into Body(), then calls Transact (synchronous: the
// body is rewound, sent with VADClient::Transact, and the reply rewound for
// reading) or Post (one-way, nothing is read). Reply() is then read field
// by field; a short read gives the reader's default.
//
// Start and Finish are Transact in two halves, so that several requests
// can be on the wire before the first reply is awaited (VADClient.h,
// StartTransact). Start sends the request now; without `mayConnect` only
// over the connection that stands, and when there is none the request is
// left for Finish. Start answers false when the request has failed already.
// Finish answers what Transact would have: it waits for the reply of a
// request sent ahead, or makes a request left unsent in full, then rewinds
// the reply. With `repeatWhenLost` (read-only requests only) a request sent
// ahead whose connection ended before its reply is made again in full, as
// if it had been sent after the end, instead of failing. Settle, for a
// request whose answer is no longer wanted, waits for the reply of a
// request sent ahead (so that none arrives for a request gone) and makes
// nothing else. The destructor does not wait.
//
// Start may also take the log that the daemon's messages for the request
// land in (as Transact's) and a done signal shared by the requests a thread
// keeps in flight (VADClientTransaction::SetDoneSignal). Answered tells
// without waiting whether Finish would return at once: true for a request
// that was not sent ahead (failed, or left for Finish to make in full) and
// for one whose reply or failure is in.
//
// Replies are untrusted: ReplyRemaining answers how many bytes are left to
// read, and ReadKUIDList reads a u32 count and that many KUIDs, appending
// only the KUIDs the reply holds whole: a count larger than the bytes left
// can hold is cut to what is there, so a damaged count never loops or
// allocates beyond the reply. WriteKUIDList writes a count and the KUIDs in
// list order.
//
// Not thread-safe; one request per object, on the calling thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "assetdb/client/VADClient.h"
#include "assetdb/client/VADClientTransaction.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

class ResultsLog;

class VADRequest {
 public:
  static constexpr uint32_t kBodyReserve = 512;

  VADRequest();
  VADRequest(const VADRequest&) = delete;
  VADRequest& operator=(const VADRequest&) = delete;

  TStream& Body() { return body_; }
  TStream& Reply() { return reply_; }

  bool Transact(uint32_t code, ResultsLog* log = nullptr, bool keepResults = false);
  bool Post(uint32_t code);

  bool Start(uint32_t code, bool mayConnect, ResultsLog* log = nullptr,
             std::shared_ptr<ReplySignal> done = nullptr);
  bool Answered() const;
  bool Finish(bool repeatWhenLost);
  void Settle();

  uint32_t ReplyRemaining();

 private:
  Kiv::DynamicBuffer bodyData_{kBodyReserve};
  Kiv::DynamicBuffer replyData_;
  TBuffer body_{&bodyData_};
  TBuffer reply_{&replyData_};
  // Between Start and Finish: the code, how the start went and, for a
  // request sent ahead, its transaction.
  uint32_t code_ = 0;
  ResultsLog* log_ = nullptr;
  VADClient::StartResult started_ = VADClient::StartResult::kFailed;
  std::optional<VADClientTransaction> transaction_;
};

void WriteKUIDList(TStream& stream, const KUIDList& list);
// Appends to `out`; answers the number of KUIDs appended. `available` is
// the number of bytes the stream holds from its position.
uint32_t ReadKUIDList(TStream& stream, uint32_t available, KUIDList& out);
