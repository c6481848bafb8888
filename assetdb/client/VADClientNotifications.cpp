// The daemon client's notifications: dispatch, the main-thread queue, the
// handlers of each code, and the question threads of code 2.
#include <new>

#include "assetdb/client/VADClient.h"
#include "assetdb/client/VADClientState.h"
#include "assetdb/client/VADClientTransaction.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/base/LogMessage.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/KUID.h"
#include "foundation/threads/TCXCallbackCIntPtr.h"
#include "foundation/threads/WorkerThread.h"

using VADClientInternal::ClientState;
using VADClientInternal::State;

namespace {

int RunQueuedNotificationTask(intptr_t) {
  VADClient::RunQueuedNotification();
  return 0;
}

// Queues one run of the notification queue on the main thread.
void PostQueuedNotificationRun() {
  TCXCallbackCIntPtr* task = new (std::nothrow) TCXCallbackCIntPtr(&RunQueuedNotificationTask);
  if (task == nullptr) return;
  WorkerThread::Get().Post(task, WorkerThread::kMainThreadOnly | WorkerThread::kAsynchronous,
                           nullptr);
}

// Marks a command-host job as running while it lives; at its end, the runs
// of the queue that found the next job meanwhile are queued again.
class RunningJob {
 public:
  explicit RunningJob(ClientState& s) : s_(s) {
    Kiv::SingleLock lock(s_.queueLock);
    s_.jobRunning = true;
  }
  ~RunningJob() {
    uint32_t runs = 0;
    {
      Kiv::SingleLock lock(s_.queueLock);
      s_.jobRunning = false;
      runs = s_.deferredRuns;
      s_.deferredRuns = 0;
    }
    for (uint32_t i = 0; i < runs; ++i) PostQueuedNotificationRun();
  }
  RunningJob(const RunningJob&) = delete;
  RunningJob& operator=(const RunningJob&) = delete;

 private:
  ClientState& s_;
};

// A question's copy of what it needs; owned by the question thread.
struct Question {
  uint32_t id;
  Kiv::PString name;
  KUID asset;
};

void AnswerQuestion(const Question& question) {
  int32_t answer = VADClientTransaction::AskPending(question.id, question.name, question.asset);
  VADClient::AnswerTransaction(question.id, answer);
}

uint32_t QuestionThread(void* argument) {
  std::unique_ptr<Question> question(static_cast<Question*>(argument));
  AnswerQuestion(*question);
  return 0;
}

// Drops the question threads that have ended; under the question lock.
void ReapQuestionThreadsLocked(ClientState& s) {
  for (auto it = s.questions.begin(); it != s.questions.end();) {
    it = (*it)->IsDone() ? s.questions.erase(it) : std::next(it);
  }
}

}  // namespace

void VADClient::DispatchNotification(VADNotification* raw) {
  std::unique_ptr<VADNotification> note(raw);
  if (!note) return;
  // Results and web-request status run at once, in frame order; a question
  // only starts its thread here, so that a main thread waiting on the
  // request that asked can never hold the answer up.
  if (note->code == VADNotification::kCodeResults ||
      note->code == VADNotification::kCodeHttpStatus ||
      note->code == VADNotification::kCodeQuestion) {
    HandleNotification(note->payload, note->code);
    return;
  }
  ClientState& s = State();
  {
    Kiv::SingleLock lock(s.queueLock);
    s.queue.push_back(std::move(note));
  }
  PostQueuedNotificationRun();
}

void VADClient::RunQueuedNotification() {
  ClientState& s = State();
  std::unique_ptr<VADNotification> note;
  {
    Kiv::SingleLock lock(s.queueLock);
    if (s.queue.empty()) return;
    // Met while a job waits on the main thread: the next job waits for it.
    if (s.jobRunning && s.queue.front()->code == VADNotification::kCodeCommandHostJob) {
      ++s.deferredRuns;
      return;
    }
    note = std::move(s.queue.front());
    s.queue.pop_front();
  }
  HandleNotification(note->payload, note->code);
}

void VADClient::ClearNotificationQueue() {
  ClientState& s = State();
  std::deque<std::unique_ptr<VADNotification>> dropped;
  {
    Kiv::SingleLock lock(s.queueLock);
    dropped.swap(s.queue);
  }
}

size_t VADClient::QueuedNotificationCount() {
  ClientState& s = State();
  Kiv::SingleLock lock(s.queueLock);
  return s.queue.size();
}

void VADClient::HandleNotification(TStream& payload, uint32_t code) {
  ClientState& s = State();
  switch (code) {
    case VADNotification::kCodeHookValue: {
      uint32_t value = 0;
      TStreamReadU32(payload, value, 0);
      auto hook = VADClientInternal::CurrentOptions().notificationHook;
      if (hook != nullptr) hook(value);
      return;
    }
    case VADNotification::kCodeCommandHostJob: {
      CommandHostHook hook = s.commandHostHook.load();
      if (hook == nullptr) return;
      RunningJob running(s);
      TBuffer reply;
      hook(payload, reply);
      TStreamRewind(reply);
      Post(VADRequestCode::kCommandHostReply, reply);
      return;
    }
    case VADNotification::kCodeQuestion: {
      uint32_t id = 0;
      TStreamReadU32(payload, id, 0);
      Kiv::PString name;
      payload.ReadPString(name);
      KUID asset = ReadKUID(payload);
      StartTransactionQuery(id, name, asset);
      return;
    }
    case VADNotification::kCodeResults: {
      uint32_t id = 0;
      TStreamReadU32(payload, id, 0);
      // No log registered for the id: the messages are dropped unread.
      ResultsLog::ReadMessagesForRequest(id, payload);
      return;
    }
    case VADNotification::kCodeHttpStatus: {
      uint64_t handle = 0;
      TStreamReadU64(payload, handle, 0);
      HttpStatusHook hook = s.httpStatusHook.load();
      if (hook != nullptr) hook(handle, payload);
      return;
    }
    default:
      return;
  }
}

bool VADClient::AnswerTransaction(uint32_t id, int32_t answer) {
  TBuffer body;
  TStreamWriteU32(body, id);
  TStreamWriteU32(body, uint32_t(answer));
  TStreamRewind(body);
  return Post(VADRequestCode::kAnswerQuestion, body);
}

void VADClient::StartTransactionQuery(uint32_t id, const Kiv::PString& name, const KUID& asset) {
  Question* question = new (std::nothrow) Question{id, name, asset};
  if (question == nullptr) return;
  ClientState& s = State();
  std::lock_guard<std::mutex> guard(s.questionLock);
  ReapQuestionThreadsLocked(s);
  std::unique_ptr<Kiv::Thread> thread;
  try {
    s.questions.reserve(s.questions.size() + 1);
    thread.reset(new Kiv::Thread(&QuestionThread, question, true));
  } catch (const std::bad_alloc&) {
    thread.reset();
  }
  if (!thread || !thread->StartedOk()) {
    // The reader thread must not answer in place: the answer takes the
    // connection lock, which a Disconnect may hold while it joins the reader.
    LogMessage("VADClient> no thread to answer the question of request %u", id);
    thread.reset();
    delete question;
    return;
  }
  thread->Resume();
  s.questions.push_back(std::move(thread));
}

void VADClient::JoinQuestionThreads() {
  ClientState& s = State();
  std::vector<std::unique_ptr<Kiv::Thread>> threads;
  {
    std::lock_guard<std::mutex> guard(s.questionLock);
    threads.swap(s.questions);
  }
  threads.clear();  // Each destructor joins.
}

void VADClient::FailPendingTransactions() {
  VADClientTransaction::FailPending();
}

void VADClient::SetCommandHostHook(CommandHostHook hook) {
  State().commandHostHook = hook;
}

VADClient::CommandHostHook VADClient::GetCommandHostHook() {
  return State().commandHostHook.load();
}

void VADClient::SetHttpStatusHook(HttpStatusHook hook) {
  State().httpStatusHook = hook;
}
