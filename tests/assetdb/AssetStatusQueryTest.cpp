// The status line's three requests against the scripted fake daemon: they
// go out together, and every answer is what the requests made one by one
// would give, also when the asset is unknown or the connection ends.
#include "assetdb/client/AssetStatusQuery.h"

#include <gtest/gtest.h>

#include "assetdb/client/VADClientTransaction.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/AssetRecord.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "tests/support/LogCapture.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/WireBody.h"

namespace {

using Bytes = FakeDaemon::Bytes;
using W = VUTest::WireBody;
using Reply = AssetStatusQuery::Reply;

const KUID kAsset{100, 200, 0};

// A 0x15 reply: `status` bits, the user name, the category and flagE.
Bytes RecordReply(uint32_t status, const char* username, bool known = true) {
  W body;
  body.K(kAsset).Str(username).Str("").Str("");
  for (uint32_t bit = 0; bit < kAssetStatusBits; ++bit) body.Bool((status >> bit) & 1);
  body.U32(0).PStr("").Str("").U32(5).PStr("").Str("ZX").Bool(false).Bool(false).Bool(false);
  body.U32(0).F32(0.0f).U64(0).U64(0).K(KUID()).Bool(known);
  return body.Get();
}

Bytes InfoBody(uint32_t mask) {
  return W().K(kAsset).U32(mask).Get();
}

class AssetStatusQueryTest : public VADClientTestBase {
 protected:
  VUTest::LogCapture log_;  // Takes the lines from the base's capture.

  // Scripts the handshake and the three requests of a query, read before
  // any reply; they take the ids firstId, firstId + 1, firstId + 2.
  static void ExpectQuery(FakeDaemon& daemon, uint32_t firstId) {
    VADClientTransaction::SetNextIdForTests(firstId);
    daemon.ExpectHandshake();
    daemon.ExpectRequest(0x15, InfoBody(0xFFFFFFFFu));
    daemon.ExpectRequest(0x15, InfoBody(8)).ExpectRequest(0x15, InfoBody(8));
  }

  void Finish(FakeDaemon& daemon) {
    VADClient::Close();
    EXPECT_TRUE(daemon.WaitDone(3000));
    for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  }
};

// The daemon reads all three requests before it answers any, and answers
// them out of order: each answer still comes from its own reply.
TEST_F(AssetStatusQueryTest, RequestsGoOutTogetherAndEachAnswerComesFromItsReply) {
  FakeDaemon daemon;
  ExpectQuery(daemon, 500);
  daemon.ReplyTo(502, RecordReply(kAssetFaulty, "third"));
  daemon.ReplyTo(500, RecordReply(kAssetInstalledLocally | kAssetArchived, "first"));
  daemon.ReplyTo(501, RecordReply(kAssetMissingDependencies, "second"));
  daemon.ExpectGoodbye().Start();
  ASSERT_TRUE(OpenOn(daemon));
  const uint64_t lostBefore = VADClient::LostRequestCount();
  {
    AssetStatusQuery query(kAsset);
    AssetRecord record;
    ASSERT_TRUE(query.Record(record));
    EXPECT_EQ(record.username, "first");
    EXPECT_EQ(record.status, kAssetInstalledLocally | kAssetArchived);
    EXPECT_TRUE(record.flagE);
    EXPECT_TRUE(query.MissingDependencies());
    EXPECT_TRUE(query.Faulty());
  }
  EXPECT_EQ(VADClient::LostRequestCount(), lostBefore);
  EXPECT_EQ(VADClientTransaction::PendingCountForTests(), 0u);
  Finish(daemon);
}

// A caller that stops after an unknown record: the replies sent ahead are
// waited for, so none arrives for a request gone, and the connection stays
// in step for the next request.
TEST_F(AssetStatusQueryTest, CallerThatStopsAfterTheRecordLeavesNoReplyBehind) {
  FakeDaemon daemon;
  ExpectQuery(daemon, 600);
  daemon.ReplyTo(600, RecordReply(0, "", false));
  // Late enough that a query gone at once would miss them.
  daemon.Pause(100).ReplyTo(601, RecordReply(0, "")).ReplyTo(602, RecordReply(0, ""));
  daemon.ExpectRequest(0x16).Reply({9}).ExpectGoodbye().Start();
  ASSERT_TRUE(OpenOn(daemon));
  {
    AssetStatusQuery query(kAsset);
    AssetRecord record;
    ASSERT_TRUE(query.Record(record));
    EXPECT_FALSE(record.flagE);
  }
  EXPECT_EQ(VADClientTransaction::PendingCountForTests(), 0u);
  VADRequest next;
  ASSERT_TRUE(next.Transact(0x16));
  EXPECT_EQ(next.ReplyRemaining(), 1u);
  // The reader handled replies 601 and 602 before the one to 0x16.
  EXPECT_FALSE(log_.Has("unknown clientTransaction"));
  Finish(daemon);
}

// The connection ends after the record's reply. When a new connection may
// be made, the presence requests sent ahead are made again on it, as they
// would have been made after the end, and nothing counts as lost; when not
// (the tool's own start-up options) they fail, count as set, as when made
// in turn, and as lost.
TEST_F(AssetStatusQueryTest, PresenceRequestsCutOffAfterTheRecordAreMadeAgainOrFail) {
  for (const bool restart : {true, false}) {
    SCOPED_TRACE(restart ? "new connection allowed" : "no new connection");
    FakeDaemon daemon;
    ExpectQuery(daemon, 700);
    daemon.ReplyTo(700, RecordReply(kAssetInstalledLocally, "first")).Drop();
    if (restart) {
      daemon.ExpectHandshake();
      daemon.ExpectRequest(0x15, InfoBody(8)).Reply(RecordReply(0, ""));
      daemon.ExpectRequest(0x15, InfoBody(8)).Reply(RecordReply(kAssetFaulty, ""));
      daemon.ExpectGoodbye();
    }
    daemon.Start();
    startedDaemon = restart ? &daemon : nullptr;
    daemonStarts = 0;
    ASSERT_TRUE(OpenOn(daemon, restart));
    const uint64_t lostBefore = VADClient::LostRequestCount();
    {
      AssetStatusQuery query(kAsset);
      AssetRecord record;
      ASSERT_TRUE(query.Record(record));
      EXPECT_EQ(record.username, "first");
      EXPECT_EQ(query.MissingDependencies(), !restart);
      EXPECT_TRUE(query.Faulty());
    }
    EXPECT_EQ(VADClient::LostRequestCount() - lostBefore, restart ? 0u : 2u);
    EXPECT_EQ(daemonStarts.load(), restart ? 1 : 0);
    Finish(daemon);
  }
}

// The connection ends (with no new connection, as in the tool) after
// `whole` replies have arrived, and, in `partly`, after some bytes of the
// next: the query answers a status line only when all three arrived, never
// one with a record or flags that the daemon did not send.
TEST_F(AssetStatusQueryTest, AReplyCutShortIsToldApartFromTheRepliesThatArrived) {
  const struct {
    const char* name;
    int whole;
    bool partly;
  } kCuts[] = {
      {"before the record", 0, false},         {"in the record", 0, true},
      {"after the record", 1, false},          {"between the presence replies", 2, false},
      {"in the last presence reply", 2, true}, {"after every reply", 3, false},
  };
  for (const auto& cut : kCuts) {
    SCOPED_TRACE(cut.name);
    FakeDaemon daemon;
    ExpectQuery(daemon, 900);
    const Bytes replies[] = {RecordReply(kAssetInstalledLocally, "first"), RecordReply(0, ""),
                             RecordReply(0, "")};
    for (int i = 0; i < cut.whole; ++i) daemon.ReplyTo(900 + i, replies[i]);
    if (cut.partly) {
      const Bytes& next = replies[cut.whole];
      Bytes head =
          FakeDaemon::Words({0x7265706C, uint32_t(900 + cut.whole), uint32_t(next.size())});
      head.insert(head.end(), next.begin(), next.begin() + next.size() / 2);
      daemon.SendRaw(head);
    }
    daemon.Drop().Start();
    ASSERT_TRUE(OpenOn(daemon));
    port = 0;  // Gone with its connection, as a killed daemon is.
    {
      AssetStatusQuery query(kAsset);
      AssetRecord record;
      bool missing = true, faulty = true;
      const auto reply = query.Answer(record, &missing, &faulty);
      EXPECT_EQ(reply, cut.whole < 3 ? Reply::kCut : Reply::kKnown);
      if (reply == Reply::kKnown) {
        EXPECT_EQ(record.username, "first");
        EXPECT_FALSE(missing || faulty);
      }
    }
    Finish(daemon);
  }
}

// The connection ends half way through a long reply, after more than one
// piece of its body has arrived: the request made again answers from the
// new reply alone, with nothing of the one cut off before it.
TEST_F(AssetStatusQueryTest, RequestCutOffInItsReplyBodyAnswersFromTheNewReplyAlone) {
  constexpr uint32_t kDeclared = 100 * 1024, kSent = 70 * 1024;  // 32 KiB pieces
  FakeDaemon daemon;
  VADClientTransaction::SetNextIdForTests(800);
  daemon.ExpectHandshake().ExpectRequest(0x15, InfoBody(8));
  Bytes cut = FakeDaemon::Words({0x7265706C, 800, kDeclared});  // 'repl', id, length
  cut.resize(cut.size() + kSent, 0xEE);
  daemon.SendRaw(cut).Drop();
  daemon.ExpectHandshake().ExpectRequest(0x15, InfoBody(8)).Reply({4, 5, 6});
  daemon.ExpectGoodbye().Start();
  startedDaemon = &daemon;
  ASSERT_TRUE(OpenOn(daemon, true));
  VADRequest request;
  request.Body().Write(InfoBody(8).data(), 12);
  ASSERT_TRUE(request.Start(0x15, false));
  ASSERT_TRUE(request.Finish(true));
  ASSERT_EQ(request.ReplyRemaining(), 3u);
  uint8_t reply[3] = {};
  request.Reply().Read(reply, 3);
  EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{4, 5, 6}));
  Finish(daemon);
}

// A request held back (no connection stood) is made in full by Finish: it
// connects, which a request sent ahead never does.
TEST_F(AssetStatusQueryTest, RequestHeldBackWithoutConnectionIsMadeInFullByFinish) {
  FakeDaemon daemon;
  daemon.ExpectHandshake().Drop();
  daemon.ExpectHandshake().ExpectRequest(0x15, InfoBody(8)).Reply({4, 5});
  daemon.ExpectGoodbye().Start();
  startedDaemon = &daemon;
  ASSERT_TRUE(OpenOn(daemon, true));
  ASSERT_TRUE(VUTest::WaitUntil([] { return !VADClient::IsConnected(); }, 5000, 1));
  VADRequest request;
  request.Body().Write(InfoBody(8).data(), 12);
  EXPECT_TRUE(request.Start(0x15, false));
  EXPECT_EQ(daemon.Requests().size(), 0u);
  ASSERT_TRUE(request.Finish(false));
  EXPECT_EQ(request.ReplyRemaining(), 2u);
  Finish(daemon);
}

}  // namespace
