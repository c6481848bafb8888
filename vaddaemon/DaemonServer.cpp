#include "vaddaemon/DaemonServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "assetdb/protocol/VADFrames.h"
#include "foundation/base/LogMessage.h"
#include "vaddaemon/CommandHostBroker.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonFrames.h"
#include "vaddaemon/RequestLog.h"
#include "vaddaemon/RequestRegistry.h"
#include "vaddaemon/SocketOwner.h"

using Clock = std::chrono::steady_clock;

struct DaemonServer::Reader {
  std::thread thread;
  std::atomic<bool> done{false};
  std::weak_ptr<DaemonConnection> connection;
  // A request of the connection was not taken: the daemon was ending.
  std::atomic<bool> notTaken{false};
  std::mutex lock;
  std::condition_variable changed;
  uint32_t inFlight = 0;

  bool Idle() {
    std::lock_guard<std::mutex> hold(lock);
    return inFlight == 0;
  }

  // A request of this reader's connection has ended.
  void Ended() {
    {
      std::lock_guard<std::mutex> hold(lock);
      --inFlight;
    }
    changed.notify_all();
  }
};

// A request read and counted in flight, until it ends: on a worker, or
// through a reader start that took it (RequestHandoff). The server outlives
// every call of ToWorker: those come from readers and workers, which the
// server ends before it goes.
struct DaemonServer::Pending : RequestHandoff, std::enable_shared_from_this<Pending> {
  Pending(DaemonServer* owner, std::shared_ptr<DaemonConnection> from,
          std::shared_ptr<Reader> readBy, uint32_t requestCode, uint32_t requestId)
      : server(owner),
        connection(std::move(from)),
        reader(std::move(readBy)),
        code(requestCode),
        id(requestId) {}

  void Done() override { reader->Ended(); }
  void ToWorker(std::shared_ptr<void> started) override {
    server->Submit(shared_from_this(), std::move(started));
  }

  DaemonServer* const server;
  const std::shared_ptr<DaemonConnection> connection;
  const std::shared_ptr<Reader> reader;
  const uint32_t code;
  const uint32_t id;
  std::vector<uint8_t> body;
};

namespace {

unsigned long long Number(const DaemonConnection& connection) {
  return static_cast<unsigned long long>(connection.Number());
}

// Reads from a connected socket. With a deadline, every wait ends there;
// without one, a receive waits until bytes come or the socket is shut down.
// A buffered source takes whatever the socket holds in one receive and
// serves later reads from it, so it must be the only reader of the socket
// from then on (the handshake, read before, is unbuffered so that nothing
// after it is taken early).
class SocketSource : public VADFrames::ByteSource {
 public:
  explicit SocketSource(int fd, bool buffered = false) : fd_(fd) {
    if (buffered) buffer_.resize(kBufferBytes);
  }
  void SetDeadline(Clock::time_point deadline) {
    deadline_ = deadline;
    hasDeadline_ = true;
  }
  void ClearDeadline() { hasDeadline_ = false; }
  // The connection whose held frames go out before every receive.
  void FlushBeforeReceiving(DaemonConnection* connection) { flushing_ = connection; }
  // Whether a receive failed on a reset: the peer closed with bytes unread.
  bool EndedByReset() const { return reset_; }

  bool Receive(void* dst, uint32_t n) override {
    uint8_t* out = static_cast<uint8_t*>(dst);
    uint32_t got = 0;
    while (got < n) {
      if (start_ < end_) {
        const uint32_t take = std::min<uint32_t>(n - got, uint32_t(end_ - start_));
        std::memcpy(out + got, buffer_.data() + start_, take);
        start_ += take;
        got += take;
        continue;
      }
      if (flushing_ != nullptr) flushing_->Flush();
      if (hasDeadline_ && !WaitReadable()) return false;
      // Large reads go straight to the caller; small ones fill the buffer.
      const bool direct = n - got >= buffer_.size();
      uint8_t* into = direct ? out + got : buffer_.data();
      const size_t room = direct ? n - got : buffer_.size();
      ssize_t r = ::recv(fd_, into, room, 0);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && errno == ECONNRESET) reset_ = true;
      if (r <= 0) return false;
      if (direct) {
        got += uint32_t(r);
      } else {
        start_ = 0;
        end_ = size_t(r);
      }
    }
    return true;
  }

 private:
  bool WaitReadable() {
    for (;;) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
      if (left <= 0) return false;
      pollfd fd = {fd_, POLLIN, 0};
      int ready = ::poll(&fd, 1, int(left));
      if (ready < 0 && errno == EINTR) continue;
      return ready > 0;
    }
  }

  static constexpr size_t kBufferBytes = 16 * 1024;

  int fd_;
  Clock::time_point deadline_;
  bool hasDeadline_ = false;
  DaemonConnection* flushing_ = nullptr;
  std::vector<uint8_t> buffer_;
  size_t start_ = 0;
  size_t end_ = 0;
  bool reset_ = false;
};

}  // namespace

DaemonServer::DaemonServer(DaemonContext& context, const RequestRegistry& registry,
                           uint32_t idleSeconds, uint32_t maxConnections)
    : context_(context),
      registry_(registry),
      idleSeconds_(idleSeconds),
      maxConnections_(maxConnections) {}

DaemonServer::~DaemonServer() {
  CloseAll();
  pool_.Stop(kStopWaitMs);
  ReapReaders(true);
  if (listener_ >= 0) ::close(listener_);
}

bool DaemonServer::Listen() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return false;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof(address);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listener_, 64) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    LogMessage("vaddaemon> unable to listen on 127.0.0.1 (errno %d)", errno);
    ::close(listener_);
    listener_ = -1;
    return false;
  }
  port_ = ntohs(address.sin_port);
  return true;
}

bool DaemonServer::Serve() {
  if (listener_ < 0) return false;
  const bool finish = AcceptUntilExit();
  const Clock::time_point exitAt = Clock::now();
  if (onEnding_) onEnding_();
  if (!finish || !FinishWork(exitAt)) {
    context_.AbandonWork();
    SeeGivenUpWorkOut();
  }
  ::close(listener_);
  listener_ = -1;
  for (const int fd : held_) ::close(fd);
  held_.clear();
  CloseAll();
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      exitAt + std::chrono::milliseconds(kStopWaitMs) - Clock::now());
  // Stopping the pool also releases readers that wait for a worker.
  if (!pool_.Stop(uint32_t(std::max<int64_t>(0, left.count())))) {
    LogMessage("vaddaemon> requests still running after %u ms", kStopWaitMs);
    return false;
  }
  ReapReaders(true);
  return true;
}

bool DaemonServer::EndCheckSpoke() {
  const std::string reason = endCheck_ ? endCheck_() : std::string();
  if (reason.empty()) return false;
  LogMessage("vaddaemon> %s; exiting", reason.c_str());
  context_.AbandonWork();
  return true;
}

bool DaemonServer::AcceptUntilExit() {
  Clock::time_point idleSince = Clock::now();
  bool idle = true;
  while (!context_.ExitRequested()) {
    if (stopSignal_.load()) {
      LogMessage("vaddaemon> stop signal received; exiting");
      context_.RequestExit();
      break;
    }
    if (EndCheckSpoke()) return false;
    pollfd fd = {listener_, POLLIN, 0};
    int ready = ::poll(&fd, 1, int(kPollMs));
    // A tool that connects just after the index was removed finds the
    // daemon ending: the check is made again before the connection is
    // taken, so it is held for the next daemon (Accept) instead of being
    // served by one that can take no more work.
    if (ready > 0) {
      if (EndCheckSpoke()) return false;
      Accept();
    }
    ReapReaders(false);
    // Command hosts are no clients: they end with the daemon (their
    // connection closes below).
    if (context_.ClientCount() != 0) {
      idle = false;
      continue;
    }
    if (!idle) {
      idle = true;
      idleSince = Clock::now();
    }
    if (Clock::now() - idleSince >= std::chrono::seconds(idleSeconds_)) {
      LogMessage("vaddaemon> no client for %u seconds; exiting", idleSeconds_);
      context_.RequestExit();
    }
  }
  return true;
}

bool DaemonServer::FinishWork(Clock::time_point exitAt) {
  const Clock::time_point abandonAt = exitAt + std::chrono::milliseconds(kFinishWorkMs);
  const Clock::time_point stopAt = exitAt + std::chrono::milliseconds(kStopWaitMs);
  while (RequestsInFlight()) {
    if (EndCheckSpoke()) return false;
    if (Clock::now() >= stopAt) return true;
    if (!context_.WorkAbandoned() && Clock::now() >= abandonAt) {
      LogMessage("vaddaemon> work still running %u ms after the exit request; giving it up",
                 kFinishWorkMs);
      context_.AbandonWork();
      CloseCommandHosts();
    }
    ServeTurn();
  }
  // The clients have their answers: each ends its connection once it has
  // sent what follows an answer, or is closed at the bound.
  const Clock::time_point lingerUntil = Clock::now() + std::chrono::milliseconds(kLingerMs);
  for (;;) {
    CloseNotTaken();
    if (context_.ClientCount() == 0 || Clock::now() >= lingerUntil) return true;
    if (EndCheckSpoke()) return false;
    ServeTurn();
  }
}

void DaemonServer::SeeGivenUpWorkOut() {
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(kGivenUpWorkMs);
  while (context_.WorkInHand() && Clock::now() < until) ServeTurn();
}

void DaemonServer::ServeTurn() {
  pollfd fd = {listener_, POLLIN, 0};
  if (::poll(&fd, 1, int(kPollMs)) > 0) Accept();
  ReapReaders(false);
}

bool DaemonServer::RequestsInFlight() {
  if (pool_.Busy() != 0 || context_.WorkInHand()) return true;
  std::lock_guard<std::mutex> hold(readersLock_);
  return std::any_of(readers_.begin(), readers_.end(),
                     [](const std::shared_ptr<Reader>& reader) { return !reader->Idle(); });
}

void DaemonServer::CloseNotTaken() {
  std::lock_guard<std::mutex> hold(readersLock_);
  for (const auto& reader : readers_) {
    if (!reader->notTaken.load()) continue;
    if (auto connection = reader->connection.lock()) connection->Close();
  }
}

void DaemonServer::CloseCommandHosts() {
  for (const auto& connection : context_.Connections()) {
    if (connection->IsCommandHost()) connection->Close();
  }
}

void DaemonServer::Accept() {
  int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  if (!Admit(fd)) {
    ::close(fd);
    return;
  }
  if (context_.ExitRequested() && !AdmitWhileEnding(fd)) {
    // Held unread: its tool waits for the handshake as for a busy daemon.
    if (held_.size() < maxConnections_) {
      held_.push_back(fd);
    } else {
      ::close(fd);
    }
    return;
  }
  int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  std::shared_ptr<DaemonConnection> connection;
  std::shared_ptr<Reader> reader;
  try {
    connection = std::make_shared<DaemonConnection>(fd, ++accepted_);
  } catch (const std::exception&) {
    ::close(fd);
    return;
  }
  try {
    reader = std::make_shared<Reader>();
    reader->connection = connection;
    context_.AddConnection(connection);
    std::lock_guard<std::mutex> hold(readersLock_);
    readers_.push_back(reader);
    reader->thread =
        std::thread([this, connection, reader] { ReadConnection(connection, reader); });
  } catch (const std::exception&) {
    LogMessage("vaddaemon> no resources for connection %llu; closing it", Number(*connection));
    connection->Close();
    context_.RemoveConnection(connection);
    if (reader) reader->done.store(true);
  }
}

bool DaemonServer::Admit(int fd) {
  const size_t open = context_.ConnectionCount();
  if (open >= maxConnections_) {
    LogMessage("vaddaemon> %zu connections are open, the most it serves; refusing a new one", open);
    return false;
  }
  const std::optional<uint32_t> user = SocketOwner::PeerUid(fd);
  if (!user) {
    LogMessage("vaddaemon> refusing a connection whose user cannot be determined");
    return false;
  }
  const uid_t own = ::geteuid();
  if (*user != own) {
    LogMessage("vaddaemon> refusing a connection from user %u: this daemon serves user %u only",
               *user, unsigned(own));
    return false;
  }
  return true;
}

bool DaemonServer::AdmitWhileEnding(int fd) {
  if (context_.WorkAbandoned()) return false;
  auto broker = context_.Find<CommandHostBroker>();
  const std::optional<uint64_t> socket = SocketOwner::PeerInode(fd);
  return broker && socket && broker->StartedHostOwns(*socket);
}

bool DaemonServer::Handshake(DaemonConnection& connection, VADFrames::ByteSource& source) {
  DaemonFrames::Hello hello;
  switch (DaemonFrames::ReadHello(source, hello)) {
    case DaemonFrames::HelloResult::kOk:
      break;
    case DaemonFrames::HelloResult::kBadMagic:
      LogMessage("vaddaemon> connection %llu: not a client handshake; closing it",
                 Number(connection));
      return false;
    case DaemonFrames::HelloResult::kTooLong:
      LogMessage("vaddaemon> connection %llu: handshake path too long; closing it",
                 Number(connection));
      return false;
    case DaemonFrames::HelloResult::kBroken:
      LogMessage("vaddaemon> connection %llu: handshake incomplete; closing it",
                 Number(connection));
      return false;
  }
  if (hello.version != VADFrames::kVersion || hello.build != VADFrames::kBuild) {
    LogMessage("vaddaemon> connection %llu: client version %u build %u (daemon %u build %u)",
               Number(connection), hello.version, hello.build, VADFrames::kVersion,
               VADFrames::kBuild);
  }
  const std::string refused = clientCheck_ ? clientCheck_(hello.assetIndexPath) : std::string();
  if (!refused.empty()) {
    LogMessage("vaddaemon> connection %llu: %s; closing it", Number(connection), refused.c_str());
    return false;
  }
  connection.SetHandshake(hello.clientFlag, std::move(hello.assetIndexPath));
  std::vector<uint8_t> answer = DaemonFrames::EncodeHelloAnswer();
  return connection.SendRaw(answer.data(), answer.size());
}

void DaemonServer::ReadConnection(const std::shared_ptr<DaemonConnection>& connection,
                                  const std::shared_ptr<Reader>& reader) {
  // One buffered source reads the handshake and the frames: the hello comes
  // in one receive, and frames a client sends right behind it stay buffered.
  SocketSource source(connection->Socket(), true);
  source.SetDeadline(Clock::now() + std::chrono::milliseconds(kHandshakeTimeoutMs));
  const bool greeted = Handshake(*connection, source);
  source.ClearDeadline();
  if (greeted) {
    // Answers given here leave together, before the reader next waits.
    connection->HoldReaderFrames();
    source.FlushBeforeReceiving(connection.get());
    bool reading = true;
    while (reading) {
      DaemonFrames::Request request;
      switch (DaemonFrames::ReadRequest(source, request)) {
        case DaemonFrames::FrameResult::kRequest:
          connection->CountFrameRead();
          break;
        case DaemonFrames::FrameResult::kGoodbye:
          connection->MarkSaidGoodbye();
          reading = false;
          continue;
        case DaemonFrames::FrameResult::kEnd:
          reading = false;
          continue;
        case DaemonFrames::FrameResult::kBroken:
          if (!connection->IsClosed()) {
            LogMessage("vaddaemon> connection %llu: frame cut short; closing it",
                       Number(*connection));
          }
          reading = false;
          continue;
        case DaemonFrames::FrameResult::kTooLong:
          LogMessage("vaddaemon> connection %llu: request 0x%X longer than %u bytes; closing it",
                     Number(*connection), request.code, DaemonFrames::kMaxRequestLength);
          reading = false;
          continue;
      }
      if (request.id == 0 || registry_.ServedOnReader(request.code, request.body)) {
        // One-way requests (they only store or forget something) run here,
        // before the next frame is read, so that every later request of the
        // connection sees their effect; so do the quick lookups that never
        // wait, which spares them the hand-off to a worker.
        RequestLog::Record(request.code, request.body);
        Handle(connection, request.code, request.id, std::move(request.body));
        continue;
      }
      RequestLog::Record(request.code, request.body);
      // Some requests that may wait are answered here when, this time, they
      // need not (an asset already open for edit).
      if (registry_.TryOnReader(context_, connection, request.code, request.id, request.body))
        continue;
      connection->Flush();
      {
        std::unique_lock<std::mutex> hold(reader->lock);
        reader->changed.wait(hold, [&] { return reader->inFlight < kMaxInFlightPerConnection; });
        // An ending daemon begins nothing new: the request stays unanswered,
        // and its connection is closed once the work in hand is done.
        // Looked at under the lock that counts it, so a request is either
        // counted before the end looks for requests in flight, or not taken.
        if (context_.ExitRequested()) {
          reader->notTaken.store(true);
          continue;
        }
        ++reader->inFlight;
      }
      auto pending = std::make_shared<Pending>(this, connection, reader, request.code, request.id);
      pending->body = std::move(request.body);
      // A request that can begin without waiting may be taken here, and
      // then ends without a worker.
      if (registry_.HasReaderStart(pending->code) &&
          registry_.StartOnReader(context_, connection, pending->code, pending->id, pending->body,
                                  pending))
        continue;
      if (!Submit(pending, nullptr)) reading = false;
    }
  }
  if (source.EndedByReset()) connection->MarkEndedByReset();
  connection->Flush();
  connection->Close();
  context_.RemoveConnection(connection);
  reader->done.store(true);
}

bool DaemonServer::Submit(const std::shared_ptr<Pending>& pending, std::shared_ptr<void> started) {
  const bool submitted = pool_.Submit([this, pending, started = std::move(started)] {
    registry_.Dispatch(context_, pending->connection, pending->code, pending->id,
                       std::move(pending->body), started);
    pending->reader->Ended();
  });
  // Refused once the pool stops: the daemon is ending, and the request
  // gets no reply.
  if (!submitted) pending->reader->Ended();
  return submitted;
}

void DaemonServer::Handle(const std::shared_ptr<DaemonConnection>& connection, uint32_t code,
                          uint32_t id, std::vector<uint8_t> body) {
  registry_.Dispatch(context_, connection, code, id, std::move(body));
}

void DaemonServer::ReapReaders(bool all) {
  std::list<std::shared_ptr<Reader>> finished;
  {
    std::lock_guard<std::mutex> hold(readersLock_);
    for (auto it = readers_.begin(); it != readers_.end();) {
      // A reader stays listed while requests of its connection run, which
      // RequestsInFlight counts.
      if (all || ((*it)->done.load() && (*it)->Idle())) {
        finished.push_back(std::move(*it));
        it = readers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& reader : finished) {
    if (reader->thread.joinable()) reader->thread.join();
  }
}

void DaemonServer::CloseAll() {
  for (const auto& connection : context_.Connections()) connection->Close();
}
