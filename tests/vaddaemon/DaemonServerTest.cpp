// The listener, connections and dispatch, run in the test process with
// handlers of the test's own; and the frame reader on bytes in memory.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADFrames.h"
#include "foundation/stream/TStreamTyped.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MemorySource.h"
#include "tests/support/WaitUntil.h"
#include "tests/vaddaemon/InstallTestSupport.h"
#include "tests/vaddaemon/RawClient.h"
#include "vaddaemon/DaemonConfig.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonFrames.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/DaemonServer.h"
#include "vaddaemon/RequestRegistry.h"

namespace {

constexpr uint32_t kBlock = 0x500;
constexpr uint32_t kRelease = 0x501;
constexpr uint32_t kReport = 0x502;
constexpr uint32_t kThrow = 0x503;
constexpr uint32_t kEcho = 0x504;
constexpr uint32_t kQuickOrBlock = 0x505;
constexpr const char* kIndex = "/nowhere/UserData/assets.tdx";

// A gate that blocked handlers wait on (at most 10 s, so a fault fails the
// test instead of hanging it).
class Gate {
 public:
  void Wait() {
    std::unique_lock<std::mutex> hold(lock_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait_for(hold, std::chrono::seconds(10), [this] { return open_; });
    --waiting_;
  }
  void Open() {
    std::lock_guard<std::mutex> hold(lock_);
    open_ = true;
    changed_.notify_all();
  }
  bool WaitForWaiters(int n) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::seconds(10), [&] { return waiting_ >= n; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool open_ = false;
  int waiting_ = 0;
};

class InProcessServer : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.SetInstallPath(Kiv::File::Path("/nowhere"));
    registry_.Register(0x00, [](DaemonRequest&) {});
    registry_.Register(kBlock, [this](DaemonRequest& request) {
      gate_.Wait();
      TStreamWriteU32(request.Reply(), 0xB10C);
    });
    registry_.Register(kRelease, [this](DaemonRequest&) { gate_.Open(); });
    registry_.Register(kReport, [](DaemonRequest& request) {
      request.SendMessage(ResultsLog::kSuccess, "done");
      TStreamWriteU8(request.Reply(), 1);
    });
    registry_.Register(kThrow, [](DaemonRequest& request) {
      TStreamWriteU32(request.Reply(), 5);
      throw std::runtime_error("handler fault");
    });
    registry_.Register(kEcho, [](DaemonRequest& request) {
      std::vector<uint8_t> body(request.BodyRemaining());
      if (!body.empty()) TStreamReadBytes(request.Body(), body.data(), uint32_t(body.size()));
      if (!body.empty()) TStreamWriteBytes(request.Reply(), body.data(), uint32_t(body.size()));
    });
    // Answered on the reader when its body is {1}; otherwise the attempt
    // declines (after writing to its copy of the reply) and a worker waits
    // at the gate.
    registry_.Register(kQuickOrBlock, [this](DaemonRequest& request) {
      gate_.Wait();
      TStreamWriteU8(request.Reply(), 0xB);
    });
    registry_.RegisterReaderAttempt(kQuickOrBlock, [](DaemonRequest& request) {
      uint8_t quick = 0;
      TStreamReadBytes(request.Body(), &quick, 1);
      TStreamWriteU8(request.Reply(), 0xA);
      return quick == 1;
    });
    context_.AddCloseObserver([this](const std::shared_ptr<DaemonConnection>&) { ++closed_; });
    server_ = std::make_unique<DaemonServer>(context_, registry_, 600, maxConnections_);
    server_->SetEndCheck(
        [this] { return filesGone_.load() ? std::string("the files are gone") : std::string(); });
    ASSERT_TRUE(server_->Listen());
    thread_ = std::thread([this] { served_ = server_->Serve(); });
  }

  void TearDown() override {
    gate_.Open();
    context_.RequestExit();
    if (thread_.joinable()) thread_.join();
    EXPECT_TRUE(served_);
  }

  std::unique_ptr<RawClient> Client() {
    auto client = std::make_unique<RawClient>();
    if (!client->Open(server_->Port(), kIndex)) return nullptr;
    return client;
  }

  DaemonContext context_;
  RequestRegistry registry_;
  Gate gate_;
  std::atomic<int> closed_{0};
  std::atomic<bool> filesGone_{false};  // what the end check answers
  uint32_t maxConnections_ = DaemonConfig::kDefaultMaxConnections;
  std::unique_ptr<DaemonServer> server_;
  std::thread thread_;
  bool served_ = false;
};

TEST_F(InProcessServer, WaitingRequestDoesNotStopReadingAnyConnection) {
  auto client = Client();
  auto other = Client();
  ASSERT_TRUE(client && other);
  ASSERT_TRUE(client->SendRequest(kBlock, 1, {}));
  ASSERT_TRUE(gate_.WaitForWaiters(1));
  // Later requests of the same connection, and of another, are answered
  // while the first waits.
  Bytes reply;
  EXPECT_TRUE(client->Transact(0x00, 2, {}, &reply));
  EXPECT_TRUE(other->Transact(0x00, 3, {}, &reply));
  // The request that ends the wait comes on the same connection (as a
  // command host's nested requests do); both replies follow.
  ASSERT_TRUE(client->SendRequest(kRelease, 4, {}));
  std::vector<uint32_t> ids;
  for (int i = 0; i < 2; ++i) {
    RawClient::Frame frame;
    ASSERT_TRUE(client->ReadFrame(frame));
    ASSERT_TRUE(frame.IsReply());
    ids.push_back(frame.word);
    if (frame.word == 1) {
      EXPECT_EQ(frame.body, (Bytes{0x0C, 0xB1, 0, 0}));
    }
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 4}));
}

TEST_F(InProcessServer, BusyConnectionWaitsAtItsBoundWhileOthersAreServed) {
  auto busy = Client();
  auto other = Client();
  ASSERT_TRUE(busy && other);
  const uint32_t count = DaemonServer::kMaxInFlightPerConnection + 4;
  for (uint32_t id = 1; id <= count; ++id) ASSERT_TRUE(busy->SendRequest(kBlock, id, {}));
  ASSERT_TRUE(gate_.WaitForWaiters(int(DaemonServer::kMaxInFlightPerConnection)));
  Bytes reply;
  EXPECT_TRUE(other->Transact(0x00, 1, {}, &reply));
  ASSERT_TRUE(other->SendRequest(kRelease, 2, {}));
  std::vector<int> seen(count + 1, 0);
  for (uint32_t n = 0; n < count; ++n) {
    RawClient::Frame frame;
    ASSERT_TRUE(busy->ReadFrame(frame));
    ASSERT_TRUE(frame.IsReply());
    ASSERT_GE(frame.word, 1u);
    ASSERT_LE(frame.word, count);
    ++seen[frame.word];
  }
  for (uint32_t id = 1; id <= count; ++id) EXPECT_EQ(seen[id], 1) << id;
}

TEST_F(InProcessServer, ReaderAttemptAnswersAtOnceOrLeavesTheWholeRequestToAWorker) {
  auto client = Client();
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->SendRequest(kQuickOrBlock, 1, Bytes{0}));
  ASSERT_TRUE(gate_.WaitForWaiters(1));
  // Answered while the first request still waits on its worker.
  RawClient::Frame frame;
  ASSERT_TRUE(client->SendRequest(kQuickOrBlock, 2, Bytes{1}));
  ASSERT_TRUE(client->ReadFrame(frame));
  EXPECT_TRUE(frame.IsReply() && frame.word == 2u);
  EXPECT_EQ(frame.body, Bytes{0xA});
  gate_.Open();
  // The declined request got its handler's reply alone, once.
  ASSERT_TRUE(client->ReadFrame(frame));
  EXPECT_TRUE(frame.IsReply() && frame.word == 1u);
  EXPECT_EQ(frame.body, Bytes{0xB});
  Bytes reply;
  EXPECT_TRUE(client->Transact(kEcho, 3, Bytes{7}, &reply));
  EXPECT_EQ(reply, Bytes{7});
}

// A request's last messages and its reply: on a socket both frames leave
// in one piece, note first; a connection without a socket gets its own
// SendNote and SendReply in that order.
TEST(DaemonConnectionFrames, NoteAndReplyLeaveTogetherNoteFirst) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  const uint8_t payload[] = {9, 0, 0, 0, 0x55};
  const uint8_t body[] = {1};
  Bytes expected = DaemonFrames::EncodeNote(3, payload, sizeof payload);
  const Bytes reply = DaemonFrames::EncodeReply(9, body, sizeof body);
  expected.insert(expected.end(), reply.begin(), reply.end());
  {
    DaemonConnection connection(ends[0], 1);
    EXPECT_TRUE(connection.SendNoteAndReply(3, payload, sizeof payload, 9, body, sizeof body));
    Bytes got(expected.size() + 1);
    EXPECT_EQ(::recv(ends[1], got.data(), got.size(), MSG_DONTWAIT), ssize_t(expected.size()));
    got.resize(expected.size());
    EXPECT_EQ(got, expected);
    connection.Close();
    EXPECT_FALSE(connection.SendNoteAndReply(3, payload, sizeof payload, 9, body, sizeof body));
  }
  ::close(ends[1]);

  struct Recorder : DaemonConnection {
    Recorder() : DaemonConnection(-1, 2) {}
    bool SendReply(uint32_t id, const uint8_t*, uint32_t) override {
      calls.push_back("reply " + std::to_string(id));
      return true;
    }
    bool SendNote(uint32_t code, const uint8_t*, uint32_t) override {
      calls.push_back("note " + std::to_string(code));
      return noteGoes;
    }
    std::vector<std::string> calls;
    bool noteGoes = true;
  } recorder;
  EXPECT_TRUE(recorder.SendNoteAndReply(3, payload, sizeof payload, 9, body, sizeof body));
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"note 3", "reply 9"}));
  // A note that did not go out fails the pair; the reply is still tried.
  recorder.noteGoes = false;
  EXPECT_FALSE(recorder.SendNoteAndReply(3, payload, sizeof payload, 9, body, sizeof body));
  EXPECT_EQ(recorder.calls.size(), 4u);
}

// The reader's held frames stay until its Flush, or leave ahead of a frame
// another thread sends, or at once once they pass the bound; the order on
// the wire is the order of the sends.
TEST(DaemonConnectionFrames, HeldFramesLeaveTogetherInSendOrder) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  auto readAll = [&] {
    Bytes got(4 * DaemonConnection::kMaxHeldBytes);
    const ssize_t n = ::recv(ends[1], got.data(), got.size(), MSG_DONTWAIT);
    got.resize(n > 0 ? size_t(n) : 0);
    return got;
  };
  auto frame = [](uint32_t id, size_t length = 1) {
    const Bytes body(length, uint8_t(id));
    return DaemonFrames::EncodeReply(id, body.data(), uint32_t(body.size()));
  };
  auto join = [](std::initializer_list<Bytes> frames) {
    Bytes out;
    for (const Bytes& f : frames) out.insert(out.end(), f.begin(), f.end());
    return out;
  };
  const Bytes one = {1};
  {
    DaemonConnection connection(ends[0], 1);
    connection.HoldReaderFrames();
    EXPECT_TRUE(connection.SendReply(1, one.data(), 1));
    EXPECT_TRUE(connection.SendReply(2, Bytes{2}.data(), 1));
    EXPECT_TRUE(readAll().empty());
    EXPECT_TRUE(connection.Flush());
    EXPECT_EQ(readAll(), join({frame(1), frame(2)}));

    EXPECT_TRUE(connection.SendReply(4, Bytes{4}.data(), 1));
    std::thread other([&] { EXPECT_TRUE(connection.SendReply(5, Bytes{5}.data(), 1)); });
    other.join();
    EXPECT_EQ(readAll(), join({frame(4), frame(5)}));
    EXPECT_TRUE(readAll().empty());

    const Bytes big(DaemonConnection::kMaxHeldBytes, 6);
    EXPECT_TRUE(connection.SendReply(6, big.data(), uint32_t(big.size())));
    EXPECT_EQ(readAll(), frame(6, big.size()));

    EXPECT_TRUE(connection.SendReply(7, Bytes{7}.data(), 1));
    connection.Close();
    EXPECT_FALSE(connection.Flush());
    EXPECT_FALSE(connection.SendReply(8, Bytes{8}.data(), 1));
  }
  ::close(ends[1]);
}

TEST_F(InProcessServer, MessagesGoBeforeTheReplyAndNeverForOneWayRequests) {
  auto client = Client();
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->SendRequest(kReport, 0, {}));
  Bytes reply;
  std::vector<RawClient::Frame> notes;
  ASSERT_TRUE(client->Transact(kReport, 9, {}, &reply, &notes));
  EXPECT_EQ(reply, (Bytes{1}));
  ASSERT_EQ(notes.size(), 1u);
  const std::vector<ResultMessage> messages = installtest::MessagesFor(notes, 9);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].severity, ResultsLog::kSuccess);
  EXPECT_EQ(messages[0].text, "done");
}

// Frames are read however the bytes arrive: several in one write (small
// ones and one larger than a read takes at once), and one a byte at a time.
TEST_F(InProcessServer, FramesAreServedWhetherTheyComeTogetherOrByteByByte) {
  auto client = Client();
  ASSERT_TRUE(client);
  struct Case {
    uint32_t id;
    size_t size;
  };
  const Case together[] = {{1, 0}, {2, 7}, {3, 100000}, {4, 3}, {5, 16384}, {6, 1}};
  std::map<uint32_t, Bytes> sent;
  Bytes stream;
  for (const Case& c : together) {
    Bytes body(c.size);
    for (size_t i = 0; i < c.size; ++i) body[i] = uint8_t(c.id * 31 + i * 7);
    for (uint32_t word : {kEcho, c.id, uint32_t(c.size)}) {
      for (int b = 0; b < 4; ++b) stream.push_back(uint8_t(word >> (8 * b)));
    }
    stream.insert(stream.end(), body.begin(), body.end());
    sent[c.id] = std::move(body);
  }
  ASSERT_TRUE(client->Send(stream));
  Bytes last = {9, 8, 7};
  Bytes trickle;
  for (uint32_t word : {kEcho, 7u, uint32_t(last.size())}) {
    for (int b = 0; b < 4; ++b) trickle.push_back(uint8_t(word >> (8 * b)));
  }
  trickle.insert(trickle.end(), last.begin(), last.end());
  sent[7] = last;
  for (uint8_t byte : trickle) ASSERT_TRUE(client->Send(&byte, 1));
  std::map<uint32_t, Bytes> answered;
  while (answered.size() < sent.size()) {
    RawClient::Frame frame;
    ASSERT_TRUE(client->ReadFrame(frame));
    if (frame.IsReply()) answered[frame.word] = std::move(frame.body);
  }
  for (const auto& [id, body] : sent) EXPECT_EQ(answered[id], body) << id;
}

// A client may send requests right behind its hello, in the same write: the
// bytes read with the hello are not lost.
TEST_F(InProcessServer, RequestsSentWithTheHelloAreServedAfterTheAnswer) {
  RawClient client;
  ASSERT_TRUE(client.Connect(server_->Port()));
  Bytes stream;
  ASSERT_TRUE(VADFrames::EncodeHandshake(true, kIndex, stream));
  for (uint32_t id : {1u, 2u}) {
    for (uint32_t word : {kEcho, id, 1u}) {
      for (int b = 0; b < 4; ++b) stream.push_back(uint8_t(word >> (8 * b)));
    }
    stream.push_back(uint8_t(0x40 + id));
  }
  ASSERT_TRUE(client.Send(stream));
  uint8_t answer[12];
  ASSERT_TRUE(client.Receive(answer, sizeof(answer)));
  EXPECT_EQ(VADFrames::GetU32(answer), VADFrames::kTagHelloAnswer);
  std::map<uint32_t, Bytes> answered;  // Workers may answer in any order.
  for (int i = 0; i < 2; ++i) {
    RawClient::Frame frame;
    ASSERT_TRUE(client.ReadFrame(frame));
    if (frame.IsReply()) answered[frame.word] = frame.body;
  }
  EXPECT_EQ(answered, (std::map<uint32_t, Bytes>{{1, {0x41}}, {2, {0x42}}}));
}

TEST_F(InProcessServer, FailingHandlerGetsAnEmptyReplyAndCloseCallsObservers) {
  auto client = Client();
  ASSERT_TRUE(client);
  Bytes reply = {1};
  ASSERT_TRUE(client->Transact(kThrow, 1, {}, &reply));
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(context_.ConnectionCount(), 1u);
  client->Close();
  VUTest::WaitUntil([&] { return closed_.load() != 0; }, 5000);
  EXPECT_EQ(closed_.load(), 1);
  EXPECT_EQ(context_.ConnectionCount(), 0u);
}

TEST_F(InProcessServer, SilentClientIsDroppedAfterTheHandshakeTimeOutWithoutBlockingOthers) {
  RawClient silent;
  ASSERT_TRUE(silent.Connect(server_->Port()));
  auto client = Client();
  ASSERT_TRUE(client);
  Bytes reply;
  EXPECT_TRUE(client->Transact(0x00, 1, {}, &reply));
  EXPECT_TRUE(silent.WaitClosed(int(DaemonServer::kHandshakeTimeoutMs) + 5000));
}

// Asked to end, the server finishes and answers the request in flight with
// its connection open, takes no new request and holds a new connection
// unanswered; then it closes the connection whose request it did not take
// at once, leaves the others a moment to end by themselves, and ends.
TEST_F(InProcessServer, AnEndAnswersTheRequestsInFlightAndBeginsNothingNew) {
  auto client = Client();
  auto idle = Client();
  ASSERT_TRUE(client && idle);
  ASSERT_TRUE(client->SendRequest(kBlock, 1, {}));
  ASSERT_TRUE(gate_.WaitForWaiters(1));
  context_.RequestExit();
  ASSERT_TRUE(client->SendRequest(kEcho, 2, Bytes{7}));
  RawClient late;
  ASSERT_TRUE(late.Connect(server_->Port()) && late.SendHandshake(kIndex));
  gate_.Open();
  RawClient::Frame frame;
  ASSERT_TRUE(client->ReadFrame(frame));
  EXPECT_TRUE(frame.IsReply() && frame.word == 1u);
  EXPECT_FALSE(client->ReadFrame(frame)) << "a request taken after the end was asked for";
  pollfd open = {idle->Socket(), POLLIN, 0};
  EXPECT_EQ(::poll(&open, 1, 0), 0) << "a client closed before its moment to end";
  idle->Close();
  uint8_t answer[12];
  EXPECT_FALSE(late.Receive(answer, sizeof(answer))) << "a connection served after the end";
  thread_.join();
  EXPECT_TRUE(served_);
}

// The end check speaking while the server finishes its work (its files
// are another's by then): the work is given up and every connection closed
// at once, the request in flight unanswered.
TEST_F(InProcessServer, AnEndCheckThatSpeaksWhileEndingGivesTheWorkUp) {
  auto client = Client();
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->SendRequest(kBlock, 1, {}));
  ASSERT_TRUE(gate_.WaitForWaiters(1));
  context_.RequestExit();
  filesGone_ = true;
  RawClient::Frame frame;
  EXPECT_FALSE(client->ReadFrame(frame)) << "answered after the end check spoke";
  EXPECT_TRUE(context_.WorkAbandoned());
  gate_.Open();
  thread_.join();
  EXPECT_TRUE(served_);
}

class BoundedServer : public InProcessServer {
 protected:
  BoundedServer() { maxConnections_ = 2; }
};

TEST_F(BoundedServer, ConnectionsBeyondTheBoundAreClosedBeforeAnyAnswer) {
  VUTest::LogCapture log;
  auto first = Client();
  auto second = Client();
  ASSERT_TRUE(first && second);
  RawClient third;
  ASSERT_TRUE(third.Connect(server_->Port()));
  third.SendHandshake(kIndex);  // May fail: the server closes at once.
  uint8_t answer[12];
  EXPECT_FALSE(third.Receive(answer, sizeof(answer)));
  EXPECT_TRUE(log.Has("2 connections are open, the most it serves; refusing a new one"));
  // Below the bound again, a new client is served.
  first->Close();
  VUTest::WaitUntil([&] { return context_.ConnectionCount() == 1; }, 10000);
  auto fourth = Client();
  ASSERT_TRUE(fourth);
  Bytes reply;
  EXPECT_TRUE(fourth->Transact(0x00, 1, {}, &reply));
}

// Connects with bash's /dev/tcp, as this user or as user nobody, sends
// `hello` and answers how many of the 12 answer bytes came (-1: the client
// did not run). Bounded by `timeout`, so it never outlives the test.
int AnswerBytesAs(bool nobody, uint16_t port, const Bytes& hello) {
  std::string escaped;
  char hex[8];
  for (uint8_t byte : hello) {
    std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
    escaped += hex;
  }
  const std::string script = "trap \"\" PIPE; exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(port) +
                             " || exit 1; printf \"" + escaped + "\" >&3; head -c 12 <&3 | wc -c";
  const std::string user = nobody ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
  const std::string command = "timeout 30 " + user + "bash -c '" + script + "' 2>/dev/null";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char line[32] = {};
  const bool read = std::fgets(line, sizeof(line), pipe) != nullptr;
  const int status = ::pclose(pipe);
  if (!read || status != 0) return -1;
  return std::atoi(line);
}

TEST_F(InProcessServer, ConnectionOfAnotherUserIsClosedBeforeAnyAnswer) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a client as another user";
  if (std::system("command -v setpriv >/dev/null 2>&1") != 0) GTEST_SKIP() << "setpriv is missing";
  VUTest::LogCapture log;
  Bytes hello;
  ASSERT_TRUE(VADFrames::EncodeHandshake(true, kIndex, hello));
  struct Case {
    bool nobody;
    int answerBytes;
  };
  for (const Case& c : {Case{false, 12}, Case{true, 0}}) {
    EXPECT_EQ(AnswerBytesAs(c.nobody, server_->Port(), hello), c.answerBytes)
        << (c.nobody ? "nobody" : "root");
  }
  EXPECT_TRUE(log.Has("refusing a connection from user 65534: this daemon serves user 0 only"));
}

// --- The frame reader on bytes in memory.

using VUTest::MemorySource;

Bytes Words(std::initializer_list<uint32_t> words) {
  installtest::Body out;
  for (uint32_t w : words) out.U32(w);
  return out;
}

TEST(DaemonFrames, RequestFramesEndsAndBounds) {
  DaemonFrames::Request request;
  Bytes two = Words({0x66, 7, 2});
  two.push_back(0xAA);
  two.push_back(0xBB);
  const Bytes empty = Words({0x00, 8, 0});
  two.insert(two.end(), empty.begin(), empty.end());
  MemorySource source(two);
  ASSERT_EQ(DaemonFrames::ReadRequest(source, request), DaemonFrames::FrameResult::kRequest);
  EXPECT_EQ(request.code, 0x66u);
  EXPECT_EQ(request.id, 7u);
  EXPECT_EQ(request.body, (Bytes{0xAA, 0xBB}));
  ASSERT_EQ(DaemonFrames::ReadRequest(source, request), DaemonFrames::FrameResult::kRequest);
  EXPECT_TRUE(request.body.empty());
  EXPECT_EQ(DaemonFrames::ReadRequest(source, request), DaemonFrames::FrameResult::kEnd);

  MemorySource goodbye(Words({1}));
  EXPECT_EQ(DaemonFrames::ReadRequest(goodbye, request), DaemonFrames::FrameResult::kGoodbye);
  MemorySource cutHeader(Bytes{0x66, 0, 0, 0, 1, 0});
  EXPECT_EQ(DaemonFrames::ReadRequest(cutHeader, request), DaemonFrames::FrameResult::kBroken);
  // A large claimed length with few bytes behind it fails without holding
  // memory for the claim.
  MemorySource cutBody(Words({0x66, 1, DaemonFrames::kMaxRequestLength, 5}));
  EXPECT_EQ(DaemonFrames::ReadRequest(cutBody, request), DaemonFrames::FrameResult::kBroken);
  EXPECT_LE(request.body.capacity(), size_t(VADFrames::kPiece) * 2);
  MemorySource over(Words({0x66, 1, DaemonFrames::kMaxRequestLength + 1}));
  EXPECT_EQ(DaemonFrames::ReadRequest(over, request), DaemonFrames::FrameResult::kTooLong);
}

TEST(DaemonFrames, HelloIsCheckedAndAnswered) {
  Bytes hello = Words({VADFrames::kTagHello, 340, 49938, 1, 3});
  hello.insert(hello.end(), {'a', '/', 'b'});
  MemorySource good(hello);
  DaemonFrames::Hello read;
  ASSERT_EQ(DaemonFrames::ReadHello(good, read), DaemonFrames::HelloResult::kOk);
  EXPECT_EQ(read.clientFlag, 1u);
  EXPECT_EQ(read.assetIndexPath, "a/b");
  MemorySource wrong(Words({VADFrames::kTagHelloAnswer, 340, 49938, 1, 0}));
  EXPECT_EQ(DaemonFrames::ReadHello(wrong, read), DaemonFrames::HelloResult::kBadMagic);
  MemorySource tooLong(Words({VADFrames::kTagHello, 340, 49938, 1, VADFrames::kMaxPathLength + 1}));
  EXPECT_EQ(DaemonFrames::ReadHello(tooLong, read), DaemonFrames::HelloResult::kTooLong);
  MemorySource cut(Words({VADFrames::kTagHello, 340, 49938, 1, 10}));
  EXPECT_EQ(DaemonFrames::ReadHello(cut, read), DaemonFrames::HelloResult::kBroken);
  EXPECT_EQ(DaemonFrames::EncodeHelloAnswer(),
            (Bytes{0x44, 0x44, 0x41, 0x56, 0x54, 1, 0, 0, 0x12, 0xC3, 0, 0}));
  EXPECT_EQ(DaemonFrames::EncodeNote(3, nullptr, 0),
            (Bytes{0x65, 0x74, 0x6F, 0x6E, 3, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(DaemonConfig, SettingsAcceptOnlyWholeNumbersInTheirRange) {
  struct Case {
    uint32_t (*parse)(const char*, bool*);
    uint32_t fallback;
    const char* largest;
    const char* tooLarge;
  };
  const Case cases[] = {
      {DaemonConfig::ParseIdleSeconds, 600, "2592000", "2592001"},
      {DaemonConfig::ParseMaxConnections, 256, "4096", "4097"},
  };
  for (const Case& c : cases) {
    bool valid = false;
    EXPECT_EQ(c.parse(nullptr, &valid), c.fallback);
    EXPECT_TRUE(valid);
    EXPECT_EQ(c.parse("5", &valid), 5u);
    EXPECT_TRUE(valid);
    EXPECT_EQ(c.parse(c.largest, &valid), uint32_t(std::atol(c.largest)));
    EXPECT_TRUE(valid);
    for (const char* bad : {"", "0", "-1", "1.5", "5s", "99999999999999999999", c.tooLarge}) {
      EXPECT_EQ(c.parse(bad, &valid), c.fallback) << bad;
      EXPECT_FALSE(valid) << bad;
    }
  }
}

}  // namespace
