// The daemon connection against the scripted fake daemon: opening, the
// handshake, request framing, replies, drops and closing.
#include <atomic>
#include <chrono>
#include <thread>

#include "assetdb/client/VADClient.h"
#include "assetdb/client/VADClientTransaction.h"
#include "assetdb/protocol/VADFrames.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WaitUntil.h"

namespace {

using Bytes = FakeDaemon::Bytes;
using Clock = std::chrono::steady_clock;

Bytes ReplyBytes(TBuffer& reply) {
  const Kiv::DynamicBuffer* data = reply.GetData();
  return Bytes(data->Data(), data->Data() + data->DataLength());
}

class VADClientConnection : public VADClientTestBase {};

TEST_F(VADClientConnection, OpenWithoutDaemonFailsAfterTheAttemptsAndStartsItOnce) {
  auto start = Clock::now();
  EXPECT_FALSE(VADOpenDatabase(VADClientOptions()));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(daemonStarts.load(), 1);
  EXPECT_TRUE(Logged("VADOpenDatabase> unable to connect to VADDaemon"));
  EXPECT_FALSE(VADClient::IsOpen());
  // The process stays sound: requests fail at once, closing does nothing.
  TBuffer request, reply;
  EXPECT_FALSE(VADClient::Transact(0x15, request, reply, nullptr, nullptr, false));
  EXPECT_FALSE(VADClient::Post(0x15, request));
  VADClient::Close();
  VADClient::Close();
}

TEST_F(VADClientConnection, OpenStartsTheDaemonBeforeTheSecondAttempt) {
  FakeDaemon daemon;
  daemon.ExpectHandshake(FakeDaemon::Answer::kNormal, 7, 9).ExpectGoodbye();
  daemon.Start();
  startedDaemon = &daemon;  // Reachable only once the starter ran.
  EXPECT_TRUE(VADOpenDatabase(VADClientOptions()));
  EXPECT_EQ(daemonStarts.load(), 1);
  uint32_t first = 0, second = 0;
  VADClient::GetHandshakeValues(&first, &second);
  EXPECT_EQ(first, 7u);
  EXPECT_EQ(second, 9u);
  EXPECT_EQ(daemon.Handshake().clientFlag, 1u);  // The handshake's bytes are VADFramesTest's.
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(2000));
  EXPECT_TRUE(daemon.Failures().empty());
  VADClient::Close();  // A second close does nothing.
}

// The wait after starting the daemon ends once its port is published,
// however long the attempt delay; a port that refused is no sign of
// readiness, so attempts against it keep their full spacing.
TEST_F(VADClientConnection, WaitAfterStartingTheDaemonEndsOnceItsPortIsPublished) {
  VADClientTimings timings = VADClient::GetTimings();
  timings.attemptDelayMs = 60000;
  VADClient::SetTimings(timings);
  FakeDaemon daemon;
  daemon.ExpectHandshake(FakeDaemon::Answer::kNormal, 1, 2).ExpectGoodbye();
  daemon.Start();
  startedDaemon = &daemon;
  const auto start = Clock::now();
  EXPECT_TRUE(VADOpenDatabase(VADClientOptions()));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(daemonStarts.load(), 1);
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(2000));
}

TEST_F(VADClientConnection, PortThatRefusedDoesNotEndTheWaitEarly) {
  VADClientTimings timings = VADClient::GetTimings();
  timings.attempts = 3;
  timings.attemptDelayMs = 150;
  VADClient::SetTimings(timings);
  uint16_t closedPort = 0;
  {
    FakeDaemon gone;  // Its port is free again once it is destroyed.
    closedPort = gone.Port();
  }
  port = closedPort;
  const auto start = Clock::now();
  EXPECT_FALSE(VADOpenDatabase(VADClientOptions()));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(2 * 150));
  EXPECT_EQ(daemonStarts.load(), 1);
}

TEST_F(VADClientConnection, HandshakeWithoutAnswerTimesOut) {
  VADClientTimings timings = VADClient::GetTimings();
  timings.handshakeTimeoutMs = 400;
  VADClient::SetTimings(timings);
  FakeDaemon daemon;
  daemon.ExpectHandshake(FakeDaemon::Answer::kSilent)
      .ExpectHandshake(FakeDaemon::Answer::kWrongWord)
      .ExpectHandshake(FakeDaemon::Answer::kSilent);
  daemon.Start();
  auto start = Clock::now();
  EXPECT_FALSE(OpenOn(daemon));
  auto took = Clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(800));  // Two silent answers of 400 ms each.
  EXPECT_LT(took, std::chrono::seconds(20));        // Bounded, however loaded the machine.
  EXPECT_TRUE(Logged("no handshake answer"));
  EXPECT_TRUE(Logged("wrong handshake answer"));
  // The reader made during each handshake ended without reading: the
  // answers were the handshake's alone, and no connection was lost.
  EXPECT_FALSE(Logged("connection to VADDaemon lost"));
  EXPECT_EQ(daemon.Accepted(), 3u);
}

TEST_F(VADClientConnection, RequestFramesAreExactRepliesAppendAndOneWayCarriesIdZero) {
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0x15, {0xAA, 0xBB, 0xCC}).Reply({1, 2, 3, 4, 5});
  daemon.ExpectRequest(0x16, {}).Reply({});
  daemon.ExpectRequest(0x8C, {});  // One-way: no reply.
  daemon.ExpectGoodbye();
  daemon.Start();
  VADClientOptions options;
  options.clientFlag = false;
  port = daemon.Port();
  ASSERT_TRUE(VADOpenDatabase(options));
  EXPECT_EQ(daemon.Handshake().clientFlag, 0u);

  VADClientTransaction::SetNextIdForTests(41);
  TBuffer request;
  TStreamWriteU32(request, 0x99999999u);  // Before the position: not sent.
  TStreamWriteBytes(request, "\xAA\xBB\xCC", 3);
  request.SeekTo(4);
  TBuffer reply;
  TStreamWriteU32(reply, 0x11111111u);
  ASSERT_TRUE(VADClient::Transact(0x15, request, reply, nullptr, nullptr, false));
  EXPECT_EQ(ReplyBytes(reply), (Bytes{0x11, 0x11, 0x11, 0x11, 1, 2, 3, 4, 5}));

  TBuffer empty, emptyReply;
  ASSERT_TRUE(VADClient::Transact(0x16, empty, emptyReply, nullptr, nullptr, false));
  EXPECT_EQ(emptyReply.GetData()->DataLength(), 0u);

  EXPECT_TRUE(VADClient::Post(0x8C, empty));

  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(2000));
  EXPECT_TRUE(daemon.Failures().empty());
  std::vector<FakeDaemon::Request> seen = daemon.Requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].id, 41u);
  EXPECT_EQ(seen[0].payload, (Bytes{0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(seen[1].id, 42u);
  EXPECT_TRUE(seen[1].payload.empty());
  EXPECT_EQ(seen[2].id, 0u);
}

TEST_F(VADClientConnection, ReplyForUnknownIdIsDroppedAndTheStreamStaysInStep) {
  FakeDaemon daemon;
  daemon.ExpectHandshake().ExpectRequest(0x15);
  daemon.ReplyTo(987654,
                 {'n', 'o', 't', 'e', 0, 0, 0, 0, 0, 0, 0, 0});  // A body that looks like a frame.
  daemon.Reply({7}).ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  TBuffer request, reply;
  ASSERT_TRUE(VADClient::Transact(0x15, request, reply, nullptr, nullptr, false));
  EXPECT_EQ(ReplyBytes(reply), Bytes{7});
  EXPECT_TRUE(Logged("received reply for unknown clientTransaction"));
  EXPECT_TRUE(VADClient::IsConnected());
}

TEST_F(VADClientConnection, DroppedConnectionFailsEveryPendingRequestAtOnce) {
  FakeDaemon daemon;
  daemon.ExpectHandshake().ExpectRequest(0x30).ExpectRequest(0x31).Drop();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  const uint64_t lostBefore = VADClient::LostRequestCount();
  bool second = true;
  std::thread other([&] {
    TBuffer request, reply;
    // Sent once the first request is out.
    VUTest::WaitUntil([&] { return !daemon.Requests().empty(); }, 5000, 1);
    second = VADClient::Transact(0x31, request, reply, nullptr, nullptr, false);
  });
  TBuffer request, reply;
  auto start = Clock::now();
  EXPECT_FALSE(VADClient::Transact(0x30, request, reply, nullptr, nullptr, false));
  other.join();
  EXPECT_FALSE(second);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(Logged("connection to VADDaemon lost; 2 pending request(s) failed"));
  EXPECT_EQ(VADClientTransaction::PendingCountForTests(), 0u);
  EXPECT_FALSE(VADClient::IsConnected());

  // With the start-up's options a request that finds the daemon gone fails
  // after one attempt and starts nothing.
  EXPECT_FALSE(VADClient::Transact(0x32, request, reply, nullptr, nullptr, false));
  EXPECT_EQ(daemonStarts.load(), 0);
  EXPECT_EQ(VADClient::LostRequestCount() - lostBefore,
            3u);  // The two pending ones and the late one.
}

TEST_F(VADClientConnection, RequestReconnectsWhenRestartIsAllowed) {
  FakeDaemon daemon;
  daemon.ExpectHandshake().Drop().ExpectHandshake().ExpectRequest(0x40).Reply({4}).ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon, /*restartDaemon=*/true));
  ASSERT_TRUE(VUTest::WaitUntil([] { return !VADClient::IsConnected(); }, 5000, 1));
  TBuffer request, reply;
  ASSERT_TRUE(VADClient::Transact(0x40, request, reply, nullptr, nullptr, false));
  EXPECT_EQ(ReplyBytes(reply), Bytes{4});
  EXPECT_EQ(daemonStarts.load(), 1);
  EXPECT_EQ(daemon.Accepted(), 2u);
}

// A request that finds no daemon starts one and waits for it: the wait ends
// once the new daemon publishes its port, which this one does only after
// the client has polled for it a few times.
namespace waiting {
std::atomic<int> polls{0};
std::atomic<uint16_t> published{0};
std::atomic<uint16_t> next{0};
std::thread publisher;
uint16_t CountingPortSource(const Kiv::File::Path&) {
  ++polls;
  return published.load();
}
bool SlowStarter() {
  const int from = polls.load();
  publisher = std::thread([from] {
    if (VUTest::WaitUntil([from] { return polls.load() >= from + 3; }, 10000, 1))
      published = next.load();
  });
  return true;
}
}  // namespace waiting

TEST_F(VADClientConnection, RequestWaitsForTheDaemonItStartedToListen) {
  struct JoinPublisher {
    ~JoinPublisher() {
      if (waiting::publisher.joinable()) waiting::publisher.join();
    }
  } join;
  FakeDaemon first;
  first.ExpectHandshake().Drop();
  first.Start();
  FakeDaemon second;
  second.ExpectHandshake().ExpectRequest(0x40).Reply({7}).ExpectGoodbye();
  second.Start();
  waiting::polls = 0;
  waiting::published = first.Port();
  waiting::next = second.Port();
  VADClient::SetPortSource(&waiting::CountingPortSource);
  VADClient::SetDaemonStarter(&waiting::SlowStarter);
  VADClientTimings timings = VADClient::GetTimings();
  timings.attempts = 2;
  timings.attemptDelayMs = 20000;
  VADClient::SetTimings(timings);
  VADClientOptions options;
  options.restartDaemon = true;
  ASSERT_TRUE(VADOpenDatabase(options));
  ASSERT_TRUE(VUTest::WaitUntil([] { return !VADClient::IsConnected(); }, 5000, 1));
  waiting::published = 0;  // The first daemon has gone.

  TBuffer request, reply;
  const auto start = Clock::now();
  EXPECT_TRUE(VADClient::Transact(0x40, request, reply, nullptr, nullptr, false));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(15));
  EXPECT_EQ(ReplyBytes(reply), Bytes{7});
}

TEST_F(VADClientConnection, OversizedOrBrokenFramesEndTheConnection) {
  struct Case {
    const char* name;
    Bytes frame;
  };
  // The frame reader's cases are VADFramesTest's: one for the reply being
  // waited for, one for the reader thread's own frames.
  const Case cases[] = {
      {"oversized reply", FakeDaemon::Words({0x7265706C, 500, 0xFFFFFFF0u})},
      {"oversized note", FakeDaemon::Words({0x6E6F7465, 1, 0x7FFFFFFFu})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDaemon daemon;
    daemon.ExpectHandshake().ExpectRequest(0x50).SendRaw(c.frame).ExpectClose();
    daemon.Start();
    ASSERT_TRUE(OpenOn(daemon));
    VADClientTransaction::SetNextIdForTests(500);
    TBuffer request, reply;
    EXPECT_FALSE(VADClient::Transact(0x50, request, reply, nullptr, nullptr, false));
    EXPECT_EQ(reply.GetData()->DataLength(), 0u);
    EXPECT_TRUE(daemon.WaitDone(2000));
    EXPECT_TRUE(daemon.Failures().empty());
    VADClient::Close();
  }
}

TEST_F(VADClientConnection, ReplyThatCannotBeStoredFailsButTheReaderGoesOn) {
  FakeDaemon daemon;
  daemon.ExpectHandshake()
      .ExpectRequest(0x60)
      .Reply(Bytes(100, 0x5A))
      .ExpectRequest(0x61)
      .Reply({1})
      .ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  Kiv::DynamicBuffer small;
  small.SetMaxSize(16);
  TBuffer request, tooSmall(&small);
  const uint64_t lostBefore = VADClient::LostRequestCount();
  EXPECT_FALSE(VADClient::Transact(0x60, request, tooSmall, nullptr, nullptr, false));
  EXPECT_EQ(VADClient::LostRequestCount(), lostBefore);  // The daemon answered: nothing was lost.
  TBuffer reply;
  ASSERT_TRUE(VADClient::Transact(0x61, request, reply, nullptr, nullptr, false));
  EXPECT_EQ(ReplyBytes(reply), Bytes{1});
}

TEST_F(VADClientConnection, CloseDaemonWaitsUntilTheDaemonHasGone) {
  FakeDaemon daemon;
  daemon.ExpectHandshake().ExpectRequest(0x10E, {}).Reply({}).Pause(150).Drop();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon, true));
  auto start = Clock::now();
  EXPECT_TRUE(VADClient::CloseDaemon());
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_FALSE(VADClient::IsConnected());
  // restartDaemon is now clear: a request fails after one attempt.
  TBuffer request, reply;
  EXPECT_FALSE(VADClient::Transact(0x15, request, reply, nullptr, nullptr, false));
  EXPECT_EQ(daemonStarts.load(), 0);
}

TEST_F(VADClientConnection, CloseDaemonGivesUpOnADaemonThatStays) {
  VADClientTimings timings = VADClient::GetTimings();
  timings.closeDaemonWaitMs = 300;
  VADClient::SetTimings(timings);
  FakeDaemon daemon;
  daemon.ExpectHandshake().ExpectRequest(0x10E).Reply({}).ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  EXPECT_FALSE(VADClient::CloseDaemon());
  EXPECT_TRUE(Logged("did not close the connection"));
}

}  // namespace
