// Pending transactions: ids, replies, failures, questions and kept logs.
#include "assetdb/client/VADClientTransaction.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>
#include <thread>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/WEvent.h"
#include "tests/support/MemorySource.h"

namespace {

TEST(VADClientTransaction, IdsNeverTakeZeroAndWrapToOne) {
  VADClientTransaction::SetNextIdForTests(0xFFFFFFFFu);
  VADClientTransaction last(nullptr, nullptr, false);
  VADClientTransaction wrapped(nullptr, nullptr, false);
  last.Begin();
  wrapped.Begin();
  EXPECT_EQ(last.GetId(), 0xFFFFFFFFu);
  EXPECT_EQ(wrapped.GetId(), 1u);
  VADClientTransaction notBegun(nullptr, nullptr, false);
  EXPECT_FALSE(notBegun.Wait());  // Id 0: never waits.
  last.End();
  wrapped.End();
  EXPECT_EQ(VADClientTransaction::PendingCountForTests(), 0u);
}

TEST(VADClientTransaction, ReplyAndFailureSignalOnlyTheirTransactions) {
  VADClientTransaction::SetNextIdForTests(100);
  VADClientTransaction answered(nullptr, nullptr, false), sentOnOld(nullptr, nullptr, false),
      notSent(nullptr, nullptr, false);
  answered.Begin();
  sentOnOld.Begin();
  notSent.Begin();
  answered.PrepareSend(1);
  sentOnOld.PrepareSend(1);
  EXPECT_FALSE(VADClientTransaction::ReceiveReply(999, 1));
  EXPECT_TRUE(VADClientTransaction::ReceiveReply(answered.GetId(), 1));
  EXPECT_FALSE(answered.IsPending());
  EXPECT_EQ(answered.GetReplyConnection(), 1u);
  EXPECT_TRUE(answered.Wait());
  // Connection 1 ends: the request sent on it fails; the one not yet sent
  // keeps waiting for its turn on the next connection.
  EXPECT_EQ(VADClientTransaction::FailSentOn(1), 1u);
  EXPECT_FALSE(sentOnOld.Wait());
  EXPECT_FALSE(notSent.HasFailed());
  notSent.PrepareSend(2);
  EXPECT_TRUE(VADClientTransaction::ReceiveReply(notSent.GetId(), 2));
  EXPECT_TRUE(notSent.Wait());
}

// The reader reads a reply's body into the waiting request's stream before
// it wakes the request: a whole body is there when Wait returns; one the
// stream cannot hold is still read whole (the connection stays in step) and
// the request fails; one cut short fails the request and marks the
// connection broken; without a stream the body is dropped, in step.
TEST(VADClientTransaction, ReaderReadsTheReplyBodyBeforeWakingTheRequest) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;  // length word, body, then one byte of the next frame
    bool withStream;
    size_t streamLimit;  // 0: none
    bool whole;          // Wait answers true
    bool stored;
    bool broken;
    size_t left;
  };
  const std::vector<uint8_t> five = {5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 0xEE};
  const Case cases[] = {
      {"whole", five, true, 0, true, true, false, 1},
      {"too big for the stream", five, true, 2, true, false, false, 1},
      {"cut short", {5, 0, 0, 0, 'h', 'e'}, true, 0, false, true, true, 2},
      {"no stream", five, false, 0, true, true, false, 1},
  };
  for (const Case& c : cases) {
    Kiv::DynamicBuffer data;
    if (c.streamLimit != 0) data.SetMaxSize(uint32_t(c.streamLimit));
    TBuffer reply(&data);
    VADClientTransaction transaction(nullptr, nullptr, false);
    if (c.withStream) transaction.SetReplyStream(&reply);
    transaction.Begin();
    transaction.PrepareSend(3);
    VUTest::MemorySource source(c.bytes);
    bool broken = !c.broken;
    EXPECT_TRUE(VADClientTransaction::ReceiveReply(transaction.GetId(), 3, &source, &broken))
        << c.what;
    EXPECT_EQ(broken, c.broken) << c.what;
    EXPECT_EQ(source.Left(), c.left) << c.what;
    EXPECT_EQ(transaction.Wait(), c.whole) << c.what;
    if (!c.whole) continue;
    EXPECT_EQ(transaction.ReplyStored(), c.stored) << c.what;
    if (c.stored && c.withStream) {
      ASSERT_EQ(data.DataLength(), 5u) << c.what;
      EXPECT_EQ(std::memcmp(data.Data(), "hello", 5), 0) << c.what;
    }
  }
  // An id nobody waits for leaves the body unread for the caller to drop.
  VUTest::MemorySource source(five);
  EXPECT_FALSE(VADClientTransaction::ReceiveReply(424242, 3, &source));
  EXPECT_EQ(source.Left(), five.size());
}

// Runs kRounds requests, one after the other, on a thread of their own:
// `request` begins one, hands its id to `publish` once it is sent and
// answers whether it got its reply. The calling thread plays the reader and
// answers each id with `reply`. Answers how many requests got their reply.
constexpr int kRounds = 2000;

template <class Request, class Reply>
int RunRequesterAgainstReader(Request request, Reply reply) {
  std::mutex lock;
  std::condition_variable changed;
  uint32_t sentId = 0;
  int answered = 0;
  auto publish = [&](uint32_t id) {
    {
      std::lock_guard<std::mutex> hold(lock);
      sentId = id;
    }
    changed.notify_one();
  };
  std::thread requester([&] {
    for (int i = 0; i < kRounds; ++i) {
      if (request(publish)) ++answered;
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    uint32_t id = 0;
    {
      std::unique_lock<std::mutex> hold(lock);
      changed.wait(hold, [&] { return sentId != 0; });
      id = sentId;
      sentId = 0;
    }
    reply(id);
  }
  requester.join();
  return answered;
}

// The requester ends its transaction as soon as its reply wakes it, while
// the reader that woke it may still be returning: the reader must be done
// with the transaction first (a fault shows under the address sanitizer).
TEST(VADClientTransaction, RequesterMayEndItsTransactionAsSoonAsTheReplyWakesIt) {
  const int answered = RunRequesterAgainstReader(
      [](auto publish) {
        Kiv::DynamicBuffer data;
        TBuffer reply(&data);
        VADClientTransaction transaction(nullptr, nullptr, false);
        transaction.SetReplyStream(&reply);
        transaction.Begin();
        transaction.PrepareSend(7);
        publish(transaction.GetId());
        return transaction.Wait() && data.DataLength() == 1;
      },
      [](uint32_t id) {
        VUTest::MemorySource source(std::vector<uint8_t>{1, 0, 0, 0, 0x2A});
        EXPECT_TRUE(VADClientTransaction::ReceiveReply(id, 7, &source));
      });
  EXPECT_EQ(answered, kRounds);
}

// Requests kept in flight on one thread share a done signal: a reply and a
// failure each set it, and Answered tells which request is done without
// waiting; a request without the signal leaves it alone.
TEST(VADClientTransaction, SharedDoneSignalIsSetByReplyAndByFailure) {
  auto done = std::make_shared<ReplySignal>();
  VADClientTransaction first(nullptr, nullptr, false), second(nullptr, nullptr, false),
      other(nullptr, nullptr, false);
  first.SetDoneSignal(done);
  second.SetDoneSignal(done);
  for (VADClientTransaction* transaction : {&first, &second, &other}) {
    transaction->Begin();
    transaction->PrepareSend(3);
  }
  EXPECT_TRUE(VADClientTransaction::ReceiveReply(other.GetId(), 3));
  EXPECT_FALSE(done->IsSet());
  EXPECT_TRUE(other.Answered());

  EXPECT_TRUE(VADClientTransaction::ReceiveReply(first.GetId(), 3));
  EXPECT_TRUE(done->IsSet());
  EXPECT_TRUE(first.Answered());
  EXPECT_FALSE(second.Answered());
  EXPECT_TRUE(first.Wait());

  done->Reset();
  EXPECT_EQ(VADClientTransaction::FailSentOn(3), 1u);
  EXPECT_TRUE(done->IsSet());
  EXPECT_TRUE(second.Answered());
  EXPECT_FALSE(second.Wait());
}

// A requester woken by the done signal ends its transaction and lets go of
// the signal at once, while the reader may still be about to set it.
TEST(VADClientTransaction, RequesterWokenByTheDoneSignalMayEndAtOnce) {
  const int answered = RunRequesterAgainstReader(
      [](auto publish) {
        auto done = std::make_shared<ReplySignal>();
        auto transaction = std::make_unique<VADClientTransaction>(nullptr, nullptr, false);
        transaction->SetDoneSignal(done);
        transaction->Begin();
        transaction->PrepareSend(9);
        publish(transaction->GetId());
        done->Wait();
        return transaction->Answered() && transaction->Wait();
      },
      [](uint32_t id) { EXPECT_TRUE(VADClientTransaction::ReceiveReply(id, 9)); });
  EXPECT_EQ(answered, kRounds);
}

TEST(VADClientTransaction, LogStaysRegisteredOnlyWhenKept) {
  ResultsLog log;
  uint32_t kept = 0, dropped = 0;
  {
    VADClientTransaction keep(nullptr, &log, true);
    VADClientTransaction drop(nullptr, &log, false);
    keep.Begin();
    drop.Begin();
    kept = keep.GetId();
    dropped = drop.GetId();
    EXPECT_EQ(ResultsLog::FindByRequest(dropped), &log);
  }  // Destructors end both.
  EXPECT_EQ(ResultsLog::FindByRequest(kept), &log);
  EXPECT_EQ(ResultsLog::FindByRequest(dropped), nullptr);
  ResultsLog::UnregisterLog(&log);
}

class SlowCallback : public VADTransactionCallback {
 public:
  int32_t Ask(const Kiv::PString&, const Kiv::String&, const KUID&, int32_t) override {
    asking.Set();
    release.Wait(5000);
    finished = true;
    return 3;
  }
  Kiv::WEvent asking{true, false};
  Kiv::WEvent release{true, false};
  std::atomic<bool> finished{false};
};

TEST(VADClientTransaction, EndWaitsForAQuestionStillBeingAsked) {
  SlowCallback callback;
  auto transaction = std::make_unique<VADClientTransaction>(&callback, nullptr, false);
  transaction->Begin();
  const uint32_t id = transaction->GetId();
  std::atomic<int32_t> answer{0};
  std::thread question(
      [&] { answer = VADClientTransaction::AskPending(id, Kiv::PString("x"), KUID()); });
  ASSERT_TRUE(callback.asking.Wait(5000));
  // The reply arrives while the question is still open.
  EXPECT_TRUE(VADClientTransaction::ReceiveReply(id));
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    callback.release.Set();
  });
  transaction->End();
  EXPECT_TRUE(callback.finished);  // End returned only after the callback.
  transaction.reset();
  question.join();
  releaser.join();
  EXPECT_EQ(answer.load(), 3);
  EXPECT_EQ(VADClientTransaction::AskPending(id, Kiv::PString("x"), KUID()),
            VADClientTransaction::kAnswerNotPending);
  VADClientTransaction noCallback(nullptr, nullptr, false);
  noCallback.Begin();
  EXPECT_EQ(VADClientTransaction::AskPending(noCallback.GetId(), Kiv::PString("x"), KUID()),
            VADClientTransaction::kAnswerNoCallback);
}

}  // namespace
