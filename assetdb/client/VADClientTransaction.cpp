#include "assetdb/client/VADClientTransaction.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/base/LogMessage.h"
#include "foundation/threads/WorkerThread.h"
#include "kiv/CriticalSection.h"

namespace {

struct Registry {
  Kiv::CriticalSection lock;
  std::condition_variable_any askersDone;  // An Ask returned.
  std::map<uint32_t, VADClientTransaction*> pending;
  uint32_t nextId = 1;
};

// Built on first use and never destroyed, so that transactions and
// question threads may outlive static destruction safely.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

using Guard = std::unique_lock<Kiv::CriticalSection>;

}  // namespace

VADClientTransaction::VADClientTransaction(VADTransactionCallback* callback, ResultsLog* results,
                                           bool keepResults)
    : callback_(callback), keepResults_(keepResults), results_(results) {}

VADClientTransaction::~VADClientTransaction() {
  if (!ended_) End();
}

void VADClientTransaction::Begin() {
  Registry& registry = TheRegistry();
  Guard guard(registry.lock);
  id_ = registry.nextId;
  registry.nextId = registry.nextId == 0xFFFFFFFFu ? 1 : registry.nextId + 1;
  pending_ = true;
  failed_ = false;
  registry.pending[id_] = this;
  if (results_ != nullptr) ResultsLog::RegisterRequest(id_, results_);
}

bool VADClientTransaction::Wait() {
  if (id_ == 0) return false;
  event_.Wait();
  event_.Reset();
  Guard guard(TheRegistry().lock);
  return !failed_;
}

void VADClientTransaction::Remove() {
  Registry& registry = TheRegistry();
  Guard guard(registry.lock);
  if (!pending_) return;
  if (!keepResults_) ResultsLog::UnregisterRequest(id_);
  registry.pending.erase(id_);
  pending_ = false;
  failed_ = false;
}

void VADClientTransaction::End() {
  Remove();
  Registry& registry = TheRegistry();
  Guard guard(registry.lock);
  // A question thread may still be asking this transaction's callback; the
  // transaction (and the caller's callback) must stay until it is done. On
  // the main thread, main-thread tasks keep running meanwhile, in case the
  // callback waits for one.
  // So may the reader thread, still reading the reply body into the stream.
  const bool mainThread = IsMainThread();
  while (askers_ != 0 || receiving_) {
    registry.askersDone.wait_for(guard, std::chrono::milliseconds(mainThread ? 10 : 1000));
    if (!mainThread || (askers_ == 0 && !receiving_)) continue;
    guard.unlock();
    WorkerThread::Get().RunOnePending();
    guard.lock();
  }
  ended_ = true;
}

int32_t VADClientTransaction::Ask(const Kiv::PString& name, const KUID& asset) {
  if (callback_ == nullptr) return kAnswerNoCallback;
  return callback_->Ask(name, Kiv::String(), asset, 0);
}

bool VADClientTransaction::IsPending() const {
  Guard guard(TheRegistry().lock);
  return pending_;
}

bool VADClientTransaction::HasFailed() const {
  Guard guard(TheRegistry().lock);
  return failed_;
}

void VADClientTransaction::PrepareSend(uint32_t connection) {
  Guard guard(TheRegistry().lock);
  connection_ = connection;
  replyConnection_ = 0;
  failed_ = false;
  event_.Reset();
}

uint32_t VADClientTransaction::GetReplyConnection() const {
  Guard guard(TheRegistry().lock);
  return replyConnection_;
}

bool VADClientTransaction::ReplyStored() const {
  Guard guard(TheRegistry().lock);
  return replyStored_;
}

bool VADClientTransaction::ReceiveReply(uint32_t id, uint32_t connection,
                                        VADFrames::ByteSource* body, bool* broken) {
  if (broken != nullptr) *broken = false;
  Registry& registry = TheRegistry();
  Guard guard(registry.lock);
  auto it = registry.pending.find(id);
  if (it == registry.pending.end()) {
    LogMessage("VADClientTransaction::ReceiveReply> received reply for unknown clientTransaction");
    return false;
  }
  VADClientTransaction* transaction = it->second;
  transaction->Remove();
  // Out of the registry, nothing but this thread signals the transaction,
  // and its End waits while `receiving_` is set: while the body is read
  // (unlocked) into its stream, and while its event is set. The event is
  // set without the registry lock, so the woken requester does not wait
  // for this thread to let go of it.
  transaction->receiving_ = true;
  VADFrames::ReplyBody received = VADFrames::ReplyBody::kStored;
  if (body != nullptr) {
    guard.unlock();
    if (transaction->reply_ != nullptr) {
      received = VADFrames::ReadReplyBody(*body, *transaction->reply_);
    } else if (!VADFrames::SkipReplyBody(*body)) {
      received = VADFrames::ReplyBody::kBroken;
    }
    guard.lock();
  }
  const bool whole = received != VADFrames::ReplyBody::kBroken;
  if (broken != nullptr) *broken = !whole;
  transaction->failed_ = !whole;
  transaction->replyStored_ = received == VADFrames::ReplyBody::kStored;
  transaction->replyConnection_ = connection;
  guard.unlock();
  transaction->event_.Set();
  guard.lock();
  transaction->receiving_ = false;
  const std::shared_ptr<ReplySignal> done = transaction->done_;
  registry.askersDone.notify_all();
  guard.unlock();
  // The transaction may be gone from here on; the shared signal is not.
  if (done) done->Set();
  return true;
}

void VADClientTransaction::FailPending() {
  Registry& registry = TheRegistry();
  Guard guard(registry.lock);
  for (auto& entry : registry.pending) {
    entry.second->failed_ = true;
    entry.second->event_.Set();
    if (entry.second->done_) entry.second->done_->Set();
  }
}

size_t VADClientTransaction::FailSentOn(uint32_t connection) {
  Registry& registry = TheRegistry();
  Guard guard(registry.lock);
  size_t failed = 0;
  for (auto& entry : registry.pending) {
    VADClientTransaction* transaction = entry.second;
    if (transaction->connection_ == 0 || transaction->connection_ > connection) continue;
    transaction->failed_ = true;
    transaction->event_.Set();
    if (transaction->done_) transaction->done_->Set();
    ++failed;
  }
  return failed;
}

int32_t VADClientTransaction::AskPending(uint32_t id, const Kiv::PString& name, const KUID& asset) {
  Registry& registry = TheRegistry();
  Guard guard(registry.lock);
  auto it = registry.pending.find(id);
  if (it == registry.pending.end()) return kAnswerNotPending;
  VADClientTransaction* transaction = it->second;
  ++transaction->askers_;
  guard.unlock();
  // The transaction stays alive while askers_ is above 0: its End waits.
  int32_t answer = transaction->Ask(name, asset);
  guard.lock();
  --transaction->askers_;
  registry.askersDone.notify_all();
  return answer;
}

void VADClientTransaction::SetNextIdForTests(uint32_t next) {
  Registry& registry = TheRegistry();
  Guard guard(registry.lock);
  registry.nextId = next == 0 ? 1 : next;
}

size_t VADClientTransaction::PendingCountForTests() {
  Registry& registry = TheRegistry();
  Guard guard(registry.lock);
  return registry.pending.size();
}
