// Daemon notifications and questions against the scripted fake daemon.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/client/VADClient.h"
#include "assetdb/client/VADClientTransaction.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/KUID.h"
#include "foundation/threads/WorkerThread.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/WireBody.h"

namespace {

using Bytes = FakeDaemon::Bytes;

Bytes Contents(TBuffer& buffer) {
  const Kiv::DynamicBuffer* data = buffer.GetData();
  return Bytes(data->Data(), data->Data() + data->DataLength());
}

// A message batch as the daemon sends it, made by the log's own writer.
Bytes Batch(uint32_t severity, const char* text) {
  ResultsLog log;
  log.AddResult(severity, PropertyRef(), Kiv::String(text));
  TBuffer out;
  log.WriteMessages(out, 0);
  return Contents(out);
}

Bytes Question(uint32_t id, const char* name, const KUID& asset) {
  return VUTest::WireBody().U32(id).PStr(name).K(asset);
}

void RunMainThreadTasks() {
  while (WorkerThread::Get().RunOnePending()) {
  }
}

class VADClientNotifications : public VADClientTestBase {
 protected:
  void SetUp() override {
    VADClientTestBase::SetUp();
    RecordMainThreadId();
    hookValues.clear();
  }
  static inline std::vector<uint32_t> hookValues;
  static void Hook(uint32_t value) {
    EXPECT_TRUE(IsMainThread());
    hookValues.push_back(value);
  }
};

TEST_F(VADClientNotifications, ResultMessagesLandInTheRequestsLogInFrameOrder) {
  FakeDaemon daemon;
  daemon.ExpectHandshake()
      .ExpectRequest(0x28)
      .Note(3, VUTest::WireBody().U32(424242).Raw(Batch(ResultsLog::kError, "stray")))
      .NoteForLast(3, Batch(ResultsLog::kError, "bad"))
      .NoteForLast(3, Batch(ResultsLog::kWarning, "odd"))
      .Reply({})
      .ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  ResultsLog log;
  TBuffer request, reply;
  ASSERT_TRUE(VADClient::Transact(0x28, request, reply, nullptr, &log, false));
  std::vector<ResultMessage> messages = log.Messages();
  ASSERT_EQ(messages.size(), 2u);  // The stray batch (no log for its id) is dropped.
  EXPECT_EQ(messages[0].text, "bad");
  EXPECT_EQ(messages[1].text, "odd");
  EXPECT_EQ(log.GetErrorCount(), 1u);
  EXPECT_EQ(ResultsLog::FindByRequest(daemon.LastId()), nullptr);
}

class AnsweringCallback : public VADTransactionCallback {
 public:
  int32_t Ask(const Kiv::PString& assetName, const Kiv::String& text, const KUID& asset,
              int32_t flags) override {
    name = assetName;
    kuid = asset;
    emptyText = text.empty() && flags == 0;
    onMainThread = IsMainThread();
    return 3;
  }
  Kiv::PString name;
  KUID kuid;
  bool emptyText = false;
  bool onMainThread = true;
};

TEST_F(VADClientNotifications, QuestionIsAnsweredWhileTheMainThreadWaitsOnItsRequest) {
  const KUID asset{123, 456, 0};
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  // Asked with a callback: its answer.
  daemon.ExpectRequest(0x28)
      .Note(2, Question(700, "Bridge", asset))
      .ExpectRequest(0x96, FakeDaemon::Words({700, 3}));
  // An id that is not pending: 4.
  daemon.Note(2, Question(9999, "Ghost", asset)).ExpectRequest(0x96, FakeDaemon::Words({9999, 4}));
  daemon.ReplyTo(700, {});
  // Asked without a callback: 2.
  daemon.ExpectRequest(0x27)
      .Note(2, Question(701, "Tunnel", asset))
      .ExpectRequest(0x96, FakeDaemon::Words({701, 2}));
  daemon.ReplyTo(701, {}).ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  VADClientTransaction::SetNextIdForTests(700);
  AnsweringCallback callback;
  TBuffer request, reply;
  ASSERT_TRUE(VADClient::Transact(0x28, request, reply, &callback, nullptr, false));
  EXPECT_EQ(callback.name, Kiv::PString("Bridge"));
  EXPECT_EQ(callback.kuid, asset);
  EXPECT_TRUE(callback.emptyText);
  EXPECT_FALSE(callback.onMainThread);
  ASSERT_TRUE(VADClient::Transact(0x27, request, reply, nullptr, nullptr, false));
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(2000));
  EXPECT_TRUE(daemon.Failures().empty()) << daemon.Failures().front();
}

TEST_F(VADClientNotifications, QueuedNotificationsRunInOrderOnTheMainThread) {
  FakeDaemon daemon;
  daemon.ExpectHandshake().ExpectRequest(0x20);
  daemon.Note(0, FakeDaemon::Words({11}))
      .Note(7, {1, 2, 3})
      .Note(0, FakeDaemon::Words({22}))
      .Note(0, {});
  daemon.Note(1, FakeDaemon::Words({0}));  // No command host: consumed, nothing sent.
  daemon.Reply({}).ExpectRequest(0x21).Reply({}).ExpectGoodbye();
  daemon.Start();
  port = daemon.Port();
  VADClientOptions options;
  options.restartDaemon = false;
  options.notificationHook = &Hook;
  ASSERT_TRUE(VADOpenDatabase(options));
  TBuffer request, reply;
  ASSERT_TRUE(VADClient::Transact(0x20, request, reply, nullptr, nullptr, false));
  EXPECT_TRUE(hookValues.empty());  // Queued, not run on the reader thread.
  EXPECT_EQ(VADClient::QueuedNotificationCount(), 5u);
  RunMainThreadTasks();
  EXPECT_EQ(hookValues, (std::vector<uint32_t>{11, 22, 0}));  // A short payload gives 0.
  EXPECT_EQ(VADClient::QueuedNotificationCount(), 0u);
  ASSERT_TRUE(VADClient::Transact(0x21, request, reply, nullptr, nullptr, false));
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(2000));
  EXPECT_TRUE(daemon.Failures().empty());
}

// A command host runs one job at a time: work of a job that waits on the
// main thread runs the tasks queued there meanwhile, and the next job is not
// one of them, so the answers leave in the order the jobs came.
TEST_F(VADClientNotifications, CommandHostJobsNeverStartInsideEachOther) {
  static std::string jobs;
  jobs.clear();
  const auto job = [](TStream& payload, TStream& reply) {
    uint8_t name = 0;
    TStreamReadBytes(payload, &name, 1);
    jobs += char(name);
    // A wait on the main thread runs what is queued there (WorkerThread).
    while (WorkerThread::Get().RunOnePending()) {
    }
    jobs += '.';
    reply.Write(&name, 1);
  };
  FakeDaemon daemon;
  daemon.ExpectHandshake().ExpectRequest(0x20);
  daemon.Note(1, {'A'}).Note(1, {'B'}).Reply({});
  daemon.ExpectRequest(0x8D, {'A'}).ExpectRequest(0x8D, {'B'}).ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  VADClient::SetCommandHostHook(job);
  TBuffer request, reply;
  ASSERT_TRUE(VADClient::Transact(0x20, request, reply, nullptr, nullptr, false));
  RunMainThreadTasks();
  EXPECT_EQ(jobs, "A.B.");
  EXPECT_EQ(VADClient::QueuedNotificationCount(), 0u);
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(2000));
  EXPECT_TRUE(daemon.Failures().empty()) << daemon.Failures().front();
}

}  // namespace
