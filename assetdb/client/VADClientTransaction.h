// VADClientTransaction: a synchronous daemon request while it waits for its
// reply, and the process-wide registry of such requests.
//
// A transaction lives on the stack of the thread that runs
// VADClient::Transact; the registry holds only a pointer to it. Begin takes
// the next clientTransactionID (1, 2, ... 0xFFFFFFFF, then 1 again: never 0,
// which marks one-way requests), enters the transaction in the registry and,
// when a results log is given, registers the log under the id
// (ResultsLog::RegisterRequest) so that the daemon's result messages
// (notification 3) land in it.
//
// The reader thread calls ReceiveReply when a 'repl' frame names an id: the
// transaction leaves the registry, the reader reads the reply body into the
// transaction's reply stream (SetReplyStream) and its event is set, so the
// requesting thread wakes once, with its reply in hand. When the connection
// ends, FailPending marks every registered transaction failed and sets its
// event, so no wait outlives the connection. Wait answers true only for a
// reply received whole; ReplyStored then tells whether the stream took it.
//
// End removes the transaction (unless `keepResults`, the log is
// unregistered) and returns only when no other thread touches the
// transaction any more: it takes the registry lock, under which the reader
// thread signals transactions, and it waits for a reader still writing the
// reply body into the transaction's stream or setting its event (which it
// does without the registry lock), and for a question thread that
// is still asking the transaction's callback (see Ask). The destructor ends a
// transaction that was not ended. After End the object may go.
//
// Questions (notification 2) are answered on a thread of their own:
// AskPending looks the id up under the registry lock and, while the
// transaction is found, marks it in use, so that its End waits until the
// callback has answered; the callback is called outside the registry lock.
// An id that is not pending answers 4, a transaction without callback 2.
//
// A requester that keeps several transactions in flight on one thread gives
// each the same done signal (SetDoneSignal): it is set after the
// transaction's own event whenever that is set (reply or failure), so one
// wait serves them all; Answered then tells, without waiting, which ones
// have their answer. The reader sets the done signal after it has let go of
// the transaction, so a requester woken by it never waits for the reader in
// End; the signal is shared so that it outlives that last touch.
//
// Thread-safe: the registry, the id counter and every field that another
// thread reads are guarded by one re-entrant registry lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "assetdb/client/ReplySignal.h"
#include "assetdb/protocol/VADFrames.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class ResultsLog;
class TStream;

// The object that answers the daemon's questions during one request. Ask
// gets the asset's name, a text (passed empty), its KUID and the value 0;
// its answer goes to the daemon unchanged (request 0x96).
class VADTransactionCallback {
 public:
  virtual ~VADTransactionCallback() = default;
  virtual int32_t Ask(const Kiv::PString& assetName, const Kiv::String& text, const KUID& asset,
                      int32_t flags) = 0;

 protected:
  VADTransactionCallback() = default;
  VADTransactionCallback(const VADTransactionCallback&) = default;
  VADTransactionCallback& operator=(const VADTransactionCallback&) = default;
};

class VADClientTransaction {
 public:
  // Answers of AskPending besides the callback's own.
  static constexpr int32_t kAnswerNoCallback = 2;
  static constexpr int32_t kAnswerNotPending = 4;

  VADClientTransaction(VADTransactionCallback* callback, ResultsLog* results, bool keepResults);
  ~VADClientTransaction();
  VADClientTransaction(const VADClientTransaction&) = delete;
  VADClientTransaction& operator=(const VADClientTransaction&) = delete;

  // Takes the next id, enters the registry, registers the log.
  void Begin();
  // False at once for id 0. Otherwise waits for the reply or the failure,
  // resets the event and answers true unless the transaction failed.
  bool Wait();
  // When pending: unregisters the log (unless keepResults) and leaves the
  // registry; pending and failed are cleared.
  void Remove();
  // Remove, then waits until no question thread uses the transaction.
  void End();
  // 2 without callback; otherwise the callback's answer for (name, "", kuid, 0).
  int32_t Ask(const Kiv::PString& name, const KUID& asset);

  uint32_t GetId() const { return id_; }
  bool IsPending() const;
  bool HasFailed() const;

  // Requester, under the connection lock, right before its frame goes out
  // on connection number `connection` (1, 2, ...): clears an earlier failure
  // and records the connection, whose end fails the transaction.
  void PrepareSend(uint32_t connection);
  // The connection whose reader thread received the reply (0: none yet).
  uint32_t GetReplyConnection() const;
  // Requester, before Begin: the stream the reply body is written into (at
  // its position). Without one, ReceiveReply reads no body.
  void SetReplyStream(TStream* reply) { reply_ = reply; }
  // After Wait answered true: false when the stream took fewer bytes than
  // the body held.
  bool ReplyStored() const;
  // Requester, before Begin: the signal also set when this transaction's
  // answer is in (see above); null for none.
  void SetDoneSignal(std::shared_ptr<ReplySignal> done) { done_ = std::move(done); }
  // Requester, after the frame went out: true once the reply or the failure
  // is in, so that Wait returns at once.
  bool Answered() const { return event_.IsSet(); }

  // Reader thread of connection `connection`: the 'repl' frame of `id`
  // arrived, its length word and body next in `body` (null: not read; a
  // transaction with a reply stream needs it). False (with a log line,
  // nothing read) when no such transaction is pending. Otherwise the body
  // goes into the transaction's reply stream, outside the registry lock,
  // and the transaction is signalled: answered, or failed when the body
  // could not be received (`*broken` then true: the connection is out of
  // step and must end).
  static bool ReceiveReply(uint32_t id, uint32_t connection = 0,
                           VADFrames::ByteSource* body = nullptr, bool* broken = nullptr);
  // Marks every registered transaction failed and sets its event.
  static void FailPending();
  // The same for the transactions whose frame went out on connection
  // `connection` or an earlier one (those not sent yet are left waiting for
  // their turn); answers how many failed.
  static size_t FailSentOn(uint32_t connection);
  // Question thread: asks the pending transaction `id` (see above).
  static int32_t AskPending(uint32_t id, const Kiv::PString& name, const KUID& asset);

  // For tests: the id the next Begin takes (0 is taken as 1), and the
  // number of registered transactions.
  static void SetNextIdForTests(uint32_t next);
  static size_t PendingCountForTests();

 private:
  uint32_t id_ = 0;
  ReplySignal event_;
  VADTransactionCallback* callback_;
  bool keepResults_;
  bool pending_ = false;
  bool failed_ = false;
  ResultsLog* results_;
  uint32_t askers_ = 0;  // Question threads inside Ask; End waits for 0.
  bool ended_ = false;
  uint32_t connection_ = 0;       // The connection the frame went out on.
  uint32_t replyConnection_ = 0;  // The connection the reply came on.
  TStream* reply_ = nullptr;
  bool replyStored_ = true;
  bool receiving_ = false;  // The reader is writing into reply_ or signalling; End waits.
  std::shared_ptr<ReplySignal> done_;
};
