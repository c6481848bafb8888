#include "assetdb/client/VADClient.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/client/DaemonStartWait.h"
#include "assetdb/client/FindAssetSpec.h"
#include "assetdb/client/NetExact.h"
#include "assetdb/client/TCPTransport.h"
#include "assetdb/client/VADClientState.h"
#include "assetdb/client/VADClientTransaction.h"
#include "assetdb/client/VandruBaseSpec.h"
#include "assetdb/protocol/DatabaseIpc.h"
#include "assetdb/protocol/ForeignOwnerFile.h"
#include "assetdb/protocol/ResultsPrinter.h"
#include "assetdb/protocol/VADFrames.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/base/LogMessage.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/threads/Process.h"

using VADClientInternal::ClientState;
using VADClientInternal::ReaderContext;
using VADClientInternal::State;

namespace VADClientInternal {

ClientState& State() {
  static ClientState* state = new ClientState;
  return *state;
}

VADClientOptions CurrentOptions() {
  ClientState& s = State();
  std::lock_guard<std::mutex> guard(s.optionsLock);
  return s.options;
}

}  // namespace VADClientInternal

namespace {

thread_local bool t_onReaderThread = false;
// The lost requests of this thread (see LostRequestCountOfThisThread).
thread_local uint64_t t_lostRequests = 0;
// The daemon this process launched last, still known after it was reaped.
std::atomic<int> g_lastLaunched{0};

void SetOptions(const VADClientOptions& options) {
  ClientState& s = State();
  std::lock_guard<std::mutex> guard(s.optionsLock);
  s.options = options;
}

void SleepMs(uint32_t ms) {
  if (ms != 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint16_t PortFromOwnerBlock(const Kiv::File::Path& assetIndexPath) {
  if (assetIndexPath.Empty() || !OpenDatabaseIpc(assetIndexPath)) return 0;
  uint32_t port = GetDaemonPort();
  CloseDatabaseIpc();
  return port > 0xFFFF ? 0 : uint16_t(port);
}

bool LaunchDaemon() {
  Kiv::File::Path path = GetDaemonExecutablePath();
  if (path.Empty()) return false;
  Kiv::File::Path folder = path;
  folder.DelName();
  folder.DelSlash();
  const int pid = LaunchProcess(path.c_str(), "", folder.c_str(), 2);
  if (pid != 0) State().launchedDaemon = pid;
  if (pid > 0) g_lastLaunched = pid;
  return pid != 0;
}

// True when the daemon this process launched has ended (it is reaped then).
// A daemon that finds another still owning the database (one that is
// closing) ends at once without serving.
bool LaunchedDaemonEnded() {
  const int pid = State().launchedDaemon.load();
  if (pid <= 0) return false;
  const pid_t reaped = waitpid(pid, nullptr, WNOHANG);
  if (reaped == 0) return false;
  State().launchedDaemon = 0;
  return true;
}

bool StartDaemon() {
  VADClient::DaemonStarter starter = nullptr;
  {
    ClientState& s = State();
    std::lock_guard<std::mutex> guard(s.settingsLock);
    starter = s.daemonStarter;
  }
  return starter != nullptr ? starter() : LaunchDaemon();
}

// Receives n bytes, waiting at most until `deadline` for each piece.
bool ReceiveBefore(NetTransport& transport, uint8_t* dst, uint32_t n,
                   std::chrono::steady_clock::time_point deadline) {
  uint32_t got = 0;
  while (got < n) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fd = {transport.GetSocket(), POLLIN, 0};
    if (fd.fd < 0) return false;
    int ready = poll(&fd, 1, int(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    int r = transport.Read(dst + got, int(n - got));
    if (r <= 0) return false;
    got += uint32_t(r);
  }
  return true;
}

// Sends n bytes; `sent` tells how many went out before a failure.
bool SendAll(NetTransport& transport, const uint8_t* data, size_t n, size_t* sent) {
  *sent = 0;
  while (*sent < n) {
    if (transport.GetState() != NetTransport::kReady || transport.GetSocket() < 0) return false;
    size_t chunk = n - *sent < kNetMaxChunk ? n - *sent : kNetMaxChunk;
    int w = transport.Write(data + *sent, int(chunk));
    if (w <= 0) {
      transport.MarkFailed();
      return false;
    }
    *sent += size_t(w);
  }
  return true;
}

// The reader thread's source, its only reader once the handshake is done:
// one receive takes whatever the connection holds (up to kBufferBytes), so
// a reply and the messages before it come in one call; reads larger than
// the buffer go straight to the caller.
class TransportSource : public VADFrames::ByteSource {
 public:
  explicit TransportSource(NetTransport* transport) : transport_(transport) {}

  bool Receive(void* dst, uint32_t n) override {
    uint8_t* out = static_cast<uint8_t*>(dst);
    uint32_t got = 0;
    while (got < n) {
      if (start_ < end_) {
        const uint32_t take = std::min<uint32_t>(n - got, end_ - start_);
        std::memcpy(out + got, buffer_ + start_, take);
        start_ += take;
        got += take;
        continue;
      }
      if (n - got >= kBufferBytes) return NetReceiveExact(transport_, out + got, n - got);
      const int received = transport_->Read(buffer_, int(kBufferBytes));
      if (received <= 0 || uint32_t(received) > kBufferBytes) {
        transport_->MarkFailed();
        return false;
      }
      start_ = 0;
      end_ = uint32_t(received);
    }
    return true;
  }

 private:
  static constexpr uint32_t kBufferBytes = 16 * 1024;

  NetTransport* transport_;
  uint8_t buffer_[kBufferBytes];
  uint32_t start_ = 0;
  uint32_t end_ = 0;
};

class ReaderSink : public VADFrames::FrameSink {
 public:
  ReaderSink(uint32_t connection, VADFrames::ByteSource& source)
      : connection_(connection), source_(source) {}

  // The body goes straight into the waiting request's reply stream.
  bool OnReply(uint32_t id) override {
    bool broken = false;
    const bool taken = VADClientTransaction::ReceiveReply(id, connection_, &source_, &broken);
    broken_ = broken_ || broken;
    return taken;
  }

  void OnNotification(std::unique_ptr<VADNotification> note) override {
    VADClient::DispatchNotification(note.release());
  }

  // A reply body could not be received: the connection is out of step.
  bool Broken() const { return broken_; }

 private:
  uint32_t connection_;
  VADFrames::ByteSource& source_;
  bool broken_ = false;
};

// The client's half of the handshake: the hello, sent over a fresh
// transport; false when it could not be sent.
bool SendHello(NetTransport& transport, const Kiv::File::Path& assetIndexPath, bool clientFlag) {
  std::vector<uint8_t> hello;
  if (!VADFrames::EncodeHandshake(clientFlag, assetIndexPath.Str(), hello)) return false;
  return NetSendExact(&transport, hello.data(), uint32_t(hello.size()));
}

// The daemon's answer to the hello, kept for the handshake getters; false
// on a failed transfer, a wrong answer or no answer within `timeoutMs`.
bool ReceiveHelloAnswer(NetTransport& transport, uint32_t timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  uint8_t answer[12];
  if (!ReceiveBefore(transport, answer, 4, deadline)) {
    LogMessage("VADClient::Connect> no handshake answer from VADDaemon");
    return false;
  }
  if (VADFrames::GetU32(answer) != VADFrames::kTagHelloAnswer) {
    LogMessage("VADClient::Connect> wrong handshake answer from VADDaemon");
    return false;
  }
  if (!ReceiveBefore(transport, answer + 4, 8, deadline)) return false;
  ClientState& s = State();
  std::lock_guard<std::mutex> guard(s.handshakeLock);
  s.handshake[0] = VADFrames::GetU32(answer + 4);
  s.handshake[1] = VADFrames::GetU32(answer + 8);
  return true;
}

// The port the daemon publishes (0: none yet), through the test hook when
// one is set.
uint16_t CurrentDaemonPort(const Kiv::File::Path& assetIndexPath) {
  VADClient::PortSource source = nullptr;
  {
    ClientState& s = State();
    std::lock_guard<std::mutex> guard(s.settingsLock);
    source = s.portSource;
  }
  return source != nullptr ? source(assetIndexPath) : PortFromOwnerBlock(assetIndexPath);
}

// How often the wait between attempts looks for a published port.
constexpr uint32_t kReadyPollMs = 2;

// The wait before an attempt after the first: at most `ms`, ended as soon as
// the owner block names a port other than `triedPort`, the one the previous
// attempt found (0 when it found none). The daemon publishes its port once
// it listens, so a freshly started daemon is connected to at once; a port
// that already failed (a daemon going away) is no sign of readiness, so the
// attempts against it keep their full spacing.
void WaitForDaemon(uint32_t ms, uint16_t triedPort) {
  const Kiv::File::Path assetIndexPath = GetAssetIndexPath();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const uint16_t port = CurrentDaemonPort(assetIndexPath);
    if (port != 0 && port != triedPort) return;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        deadline - now, std::chrono::milliseconds(kReadyPollMs)));
  }
}

// Under the connection lock. `triedPort`, when given, receives the port
// that was tried (0 when none was published).
bool ConnectLocked(uint16_t* triedPort = nullptr) {
  ClientState& s = State();
  if (triedPort != nullptr) *triedPort = 0;
  if (s.transport) return true;
  Kiv::File::Path assetIndexPath = GetAssetIndexPath();
  uint32_t timeoutMs = 0;
  {
    std::lock_guard<std::mutex> guard(s.settingsLock);
    timeoutMs = s.timings.handshakeTimeoutMs;
  }
  const uint16_t port = CurrentDaemonPort(assetIndexPath);
  if (triedPort != nullptr) *triedPort = port;
  if (port == 0) return false;

  std::unique_ptr<NetTransport> transport(new (std::nothrow) TCPTransport("127.0.0.1", port));
  if (!transport || transport->GetState() != NetTransport::kReady) return false;
  // Each request leaves in one write and waits for its reply: nothing is
  // gained by holding a small frame back for more.
  int on = 1;
  ::setsockopt(transport->GetSocket(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  if (!SendHello(*transport, assetIndexPath, VADClientInternal::CurrentOptions().clientFlag))
    return false;

  // The reader thread is made while the daemon answers the hello; it waits,
  // suspended, until the answer has come, and a failed handshake ends it
  // without its running (the reader is destroyed before its context).
  std::unique_ptr<ReaderContext> context(new (std::nothrow) ReaderContext);
  if (!context) return false;
  context->transport = transport.get();
  context->connection = s.connection + 1;
  std::unique_ptr<Kiv::Thread> reader(
      new (std::nothrow) Kiv::Thread(&VADClient::ReaderThread, context.get(), true));
  if (!reader || !reader->StartedOk()) return false;
  if (!ReceiveHelloAnswer(*transport, timeoutMs)) return false;
  ++s.connection;
  s.transport = std::move(transport);
  s.readerContext = std::move(context);
  s.reader = std::move(reader);
  s.connected = true;
  s.reader->Resume();
  return true;
}

}  // namespace

// --- Opening and closing ---------------------------------------------------

namespace {

// The opening's attempts (see VADClient.h): up to the attempt count, the
// daemon started before the second, whatever restartDaemon says. Before
// each attempt the tool waits while a daemon of its installation starts or
// ends (DaemonStartWait.h); when none can serve, the reason goes to
// standard error and the attempts stop.
bool ConnectStartingDaemon() {
  ClientState& s = State();
  VADClientTimings timings = VADClient::GetTimings();
  DaemonStartWait startWait(GetUserDataPath().Str());
  const auto toldWhy = [&startWait](DaemonStartWait::Next next) {
    if (next != DaemonStartWait::kGiveUp) return false;
    std::fprintf(stderr, "%s\n", CopyResultLine(startWait.Reason()).c_str());
    return true;
  };
  bool connected = false;
  uint16_t triedPort = 0;
  for (uint32_t attempt = 0; attempt < timings.attempts && !connected; ++attempt) {
    if (attempt == 1) {
      // A daemon is started only for a user-data folder that passed its
      // write check (FolderLayout.h).
      FinishUserDataCheck();
      StartDaemon();
    } else if (attempt > 1 && LaunchedDaemonEnded() &&
               CurrentDaemonPort(GetAssetIndexPath()) == 0) {
      // The one started has ended. When its start failed, its record says
      // why: it is read before another start replaces it. Otherwise it
      // made way for a daemon that was closing: the database has no daemon
      // now, so it is started again.
      if (toldWhy(startWait.Look(uint32_t(g_lastLaunched.load())))) break;
      StartDaemon();
    }
    if (attempt >= 1) WaitForDaemon(timings.attemptDelayMs, triedPort);
    if (toldWhy(startWait.Wait(uint32_t(g_lastLaunched.load())))) break;
    {
      Kiv::SingleLock lock(s.connectionLock);
      connected = ConnectLocked(&triedPort);
    }
    // Another user's owner block stays until that user or this one acts:
    // no daemon can come, so the user is told at once what to do.
    const std::string foreign = connected ? std::string() : ForeignOwnerFileText();
    if (!foreign.empty()) {
      std::fprintf(stderr, "%s\n", CopyResultLine(foreign).c_str());
      break;
    }
  }
  return connected;
}

}  // namespace

bool VADOpenDatabase(const VADClientOptions& options) {
  ClientState& s = State();
  std::lock_guard<std::mutex> open(s.openLock);
  if (s.opened) return true;
  SetOptions(options);
  const bool connected = ConnectStartingDaemon();
  if (!connected) {
    LogMessage("VADOpenDatabase> unable to connect to VADDaemon");
    SetOptions(VADClientOptions());
    return false;
  }
  {
    Kiv::SingleLock lock(s.connectionLock);
    s.opened = true;
  }
  if (!s.specs) s.specs.reset(new (std::nothrow) SpecRegistry);
  InstallVADSpecAssetSource();
  InstallVandruBaseSpecMaker();
  return true;
}

void VADClient::Close() {
  ClientState& s = State();
  std::lock_guard<std::mutex> open(s.openLock);
  {
    Kiv::SingleLock lock(s.connectionLock);
    if (!s.opened) return;
    s.opened = false;
    Disconnect(false);
  }
  SetOptions(VADClientOptions());
  ClearNotificationQueue();
  JoinQuestionThreads();
  s.specs.reset();
  RemoveVADSpecAssetSource();
}

bool VADClient::Reconnect() {
  ClientState& s = State();
  std::lock_guard<std::mutex> open(s.openLock);
  if (!s.opened) return false;
  if (s.connected) return true;
  // What is left of the connection that ended (its reader has stopped).
  Disconnect(true);
  bool connected = false;
  if (s.reconnectFailed) {
    Kiv::SingleLock lock(s.connectionLock);
    connected = ConnectLocked();
  } else {
    connected = ConnectStartingDaemon();
  }
  s.reconnectFailed = !connected;
  return connected;
}

bool VADClient::CloseDaemon(bool* answered) {
  ClientState& s = State();
  {
    std::lock_guard<std::mutex> guard(s.optionsLock);
    s.options.restartDaemon = false;
  }
  TBuffer request;
  TBuffer reply;
  const bool replied =
      Transact(VADRequestCode::kCloseDaemon, request, reply, nullptr, nullptr, false);
  if (answered != nullptr) *answered = replied;
  const uint32_t waitMs = GetTimings().closeDaemonWaitMs;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (s.connected) {
    if (std::chrono::steady_clock::now() >= deadline) {
      LogMessage("VADClient::CloseDaemon> VADDaemon did not close the connection within %u ms",
                 waitMs);
      return false;
    }
    SleepMs(100);
  }
  return true;
}

bool VADClient::IsOpen() {
  return State().opened;
}
bool VADClient::IsConnected() {
  return State().connected;
}
uint64_t VADClient::LostRequestCount() {
  return State().lostRequests.load();
}
uint64_t VADClient::LostRequestCountOfThisThread() {
  return t_lostRequests;
}

// --- Connecting ------------------------------------------------------------

bool VADClient::Connect() {
  ClientState& s = State();
  Kiv::SingleLock lock(s.connectionLock);
  return ConnectLocked();
}

void VADClient::Disconnect(bool afterFailure) {
  if (t_onReaderThread) return;
  ClientState& s = State();
  Kiv::SingleLock lock(s.connectionLock);
  // Marked first, so that the reader takes its wake-up for a requested end
  // (or, after a failure, for a lost connection).
  if (s.readerContext) {
    if (afterFailure) s.readerContext->lost = true;
    s.readerContext->done = true;
  }
  if (s.transport) {
    if (!afterFailure) {
      uint8_t goodbye[4] = {VADFrames::kGoodbye, 0, 0, 0};
      NetSendExact(s.transport.get(), goodbye, 4);
    }
    // Wakes the reader thread out of a blocked receive.
    s.transport->Close();
  }
  if (s.reader) {
    s.readerContext->done = true;
    s.reader->Join();
    s.reader.reset();
    s.readerContext.reset();
  }
  s.transport.reset();
}

bool VADClient::SendOrDisconnect(const void* data, uint32_t n) {
  ClientState& s = State();
  Kiv::SingleLock lock(s.connectionLock);
  if (!s.transport) return false;
  if (NetSendExact(s.transport.get(), data, n)) return true;
  Disconnect(true);
  return false;
}

// --- Requests --------------------------------------------------------------

namespace {

enum class SendResult {
  kSent,
  kRefused,       // The request itself could not be framed; nothing was sent.
  kNoConnection,  // No usable connection, or it broke while the frame went out.
  kNotTried,      // Without connecting: none stood, or no byte went out.
};

// A request of `code` failed for want of a connection (see LostRequestCount).
void CountLostRequest(uint32_t code) {
  if (code == VADRequestCode::kCloseDaemon) return;
  ++State().lostRequests;
  ++t_lostRequests;
}

// The frame of one request: the whole payload is read before anything is
// sent, so a short request stream never leaves half a frame on the
// connection. Made before the connection lock is taken, so the lock is held
// only while the frame goes out. kRefused when the frame cannot be made.
SendResult EncodeRequestFrame(uint32_t code, TStream& request, uint32_t id,
                              std::vector<uint8_t>& frame) {
  const uint32_t position = request.Tell();
  const uint32_t size = request.GetSize();
  const uint32_t length = size > position ? size - position : 0;
  std::vector<uint8_t> payload;
  try {
    payload.resize(length);
  } catch (const std::bad_alloc&) {
    LogMessage("VADClient> request 0x%x: no memory for a payload of %u bytes", code, length);
    return SendResult::kRefused;
  }
  if (length != 0 && request.Read(payload.data(), length) != length) return SendResult::kRefused;
  if (!VADFrames::EncodeRequest(code, id, payload.data(), length, frame))
    return SendResult::kRefused;
  return SendResult::kSent;
}

// Sends one request frame, made by EncodeRequestFrame, under the connection
// lock (see VADClient.h for the attempts). `transaction` is null for a
// one-way request. Without `mayConnect` only the connection that stands is
// used, once.
SendResult SendFrameLocked(const std::vector<uint8_t>& frame, VADClientTransaction* transaction,
                           bool mayConnect = true) {
  ClientState& s = State();

  if (!mayConnect) {
    if (!s.transport || s.transport->GetState() != NetTransport::kReady)
      return SendResult::kNotTried;
    if (transaction != nullptr) transaction->PrepareSend(s.connection);
    size_t sent = 0;
    if (SendAll(*s.transport, frame.data(), frame.size(), &sent)) return SendResult::kSent;
    // The daemon never acts on a frame cut off by the end of its connection.
    VADClient::Disconnect(true);
    return SendResult::kNotTried;
  }

  VADClientTimings timings = VADClient::GetTimings();
  uint16_t triedPort = 0;
  for (uint32_t attempt = 0; attempt < timings.attempts; ++attempt) {
    if (attempt == 1) {
      if (!VADClientInternal::CurrentOptions().restartDaemon) return SendResult::kNoConnection;
      StartDaemon();
    }
    if (attempt >= 1) WaitForDaemon(timings.attemptDelayMs, triedPort);
    if (!ConnectLocked(&triedPort) || !s.transport) continue;
    if (s.transport->GetState() != NetTransport::kReady) {
      // The reader thread has closed it: nothing of this frame went out.
      VADClient::Disconnect(true);
      continue;
    }
    if (transaction != nullptr) transaction->PrepareSend(s.connection);
    size_t sent = 0;
    if (SendAll(*s.transport, frame.data(), frame.size(), &sent)) return SendResult::kSent;
    VADClient::Disconnect(true);
    // Once a byte went out the daemon may hold part of the request: it is
    // not repeated.
    if (sent != 0) return SendResult::kNoConnection;
  }
  return SendResult::kNoConnection;
}

}  // namespace

bool VADClient::Transact(uint32_t code, TStream& request, TStream& reply,
                         VADTransactionCallback* callback, ResultsLog* results, bool keepResults) {
  // The transaction ends (its destructor) on every return below.
  VADClientTransaction transaction(callback, results, keepResults);
  transaction.SetReplyStream(&reply);
  transaction.Begin();
  if (StartTransact(code, request, transaction, true) != StartResult::kSent) return false;
  return FinishTransact(code, transaction);
}

VADClient::StartResult VADClient::StartTransact(uint32_t code, TStream& request,
                                                VADClientTransaction& transaction,
                                                bool mayConnect) {
  ClientState& s = State();
  // Closed: the request is not even read (as ever); checked again below.
  if (!s.opened) return StartResult::kFailed;
  std::vector<uint8_t> frame;
  if (EncodeRequestFrame(code, request, transaction.GetId(), frame) != SendResult::kSent)
    return StartResult::kFailed;
  Kiv::SingleLock lock(s.connectionLock);
  if (!s.opened) return StartResult::kFailed;
  const SendResult sent = SendFrameLocked(frame, &transaction, mayConnect);
  if (sent == SendResult::kSent) return StartResult::kSent;
  if (sent == SendResult::kNotTried) return StartResult::kNotSent;
  if (sent == SendResult::kNoConnection) CountLostRequest(code);
  return StartResult::kFailed;
}

bool VADClient::FinishTransact(uint32_t code, VADClientTransaction& transaction, bool* lost) {
  if (lost != nullptr) *lost = false;
  if (!transaction.Wait()) {
    if (lost != nullptr) {
      *lost = true;
      return false;
    }
    LogMessage("VADClient::Transact> request 0x%x failed: the connection to VADDaemon was lost",
               code);
    CountLostRequest(code);
    return false;
  }
  // The reader thread has written the reply body into the reply stream.
  const bool stored = transaction.ReplyStored();
  if (!stored) LogMessage("VADClient::Transact> request 0x%x: the reply could not be stored", code);
  return stored;
}

bool VADClient::AwaitPosted() {
  TBuffer request;
  TBuffer reply;
  VADClientTransaction transaction(nullptr, nullptr, false);
  transaction.SetReplyStream(&reply);
  transaction.Begin();
  // Over the connection that carried the posts only: an answer from another
  // would say nothing about them.
  if (StartTransact(VADRequestCode::kKeepAlive, request, transaction, false) != StartResult::kSent)
    return false;
  return FinishTransact(VADRequestCode::kKeepAlive, transaction);
}

bool VADClient::Post(uint32_t code, TStream& request) {
  ClientState& s = State();
  if (!s.opened) return false;
  std::vector<uint8_t> frame;
  if (EncodeRequestFrame(code, request, 0, frame) != SendResult::kSent) return false;
  Kiv::SingleLock lock(s.connectionLock);
  if (!s.opened) return false;
  const SendResult sent = SendFrameLocked(frame, nullptr);
  if (sent == SendResult::kNoConnection) CountLostRequest(code);
  return sent == SendResult::kSent;
}

// --- The reader thread -----------------------------------------------------

uint32_t VADClient::ReaderThread(void* argument) {
  ReaderContext& context = *static_cast<ReaderContext*>(argument);
  ClientState& s = State();
  t_onReaderThread = true;
  std::unique_ptr<TransportSource> source(new (std::nothrow) TransportSource(context.transport));
  if (source) {
    ReaderSink sink(context.connection, *source);
    while (!context.done) {
      if (!VADFrames::ReadFrame(*source, sink) || sink.Broken()) break;
    }
  }
  // On a requested end Disconnect closes the transport itself, once its
  // goodbye word is out; closing it here could cut that word off.
  if (!context.done) context.transport->Close();
  s.connected = false;
  size_t failed = VADClientTransaction::FailSentOn(context.connection);
  if (!context.done || failed != 0) {
    LogMessage("VADClient> connection to VADDaemon lost; %zu pending request(s) failed", failed);
  }
  if (!context.done || context.lost) {
    if (ConnectionLostHook hook = s.connectionLostHook.load()) hook();
  }
  return 0;
}

// --- Settings --------------------------------------------------------------

void VADClient::SetTimings(const VADClientTimings& timings) {
  ClientState& s = State();
  std::lock_guard<std::mutex> guard(s.settingsLock);
  s.timings = timings;
  if (s.timings.attempts == 0) s.timings.attempts = 1;
}

VADClientTimings VADClient::GetTimings() {
  ClientState& s = State();
  std::lock_guard<std::mutex> guard(s.settingsLock);
  return s.timings;
}

void VADClient::SetPortSource(PortSource source) {
  ClientState& s = State();
  std::lock_guard<std::mutex> guard(s.settingsLock);
  s.portSource = source;
}

void VADClient::SetConnectionLostHook(ConnectionLostHook hook) {
  State().connectionLostHook = hook;
}

void VADClient::SetDaemonStarter(DaemonStarter starter) {
  ClientState& s = State();
  std::lock_guard<std::mutex> guard(s.settingsLock);
  s.daemonStarter = starter;
}

void VADClient::GetHandshakeValues(uint32_t* first, uint32_t* second) {
  ClientState& s = State();
  std::lock_guard<std::mutex> guard(s.handshakeLock);
  if (first != nullptr) *first = s.handshake[0];
  if (second != nullptr) *second = s.handshake[1];
}
