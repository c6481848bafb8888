// Pending transactions: ids, replies, failures, questions and kept logs.
#include "assetdb/client/VADClientTransaction.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "assetdb/protocol/ResultsLog.h"
#include "kiv/WEvent.h"

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
