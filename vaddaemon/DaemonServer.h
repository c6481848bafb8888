// DaemonServer: the daemon's listener and its client connections.
//
// Listen opens a TCP listener on 127.0.0.1 at a free port (Port). Serve
// accepts connections until the exit request (DaemonContext::RequestExit,
// or a stop signal, see RequestStop) or until no client has been connected
// for `idleSeconds` (command hosts are no clients: DaemonContext::
// ClientCount). Then it finishes the work in hand before it ends:
//   - it takes no new request: a request that would go to a worker (or
//     start on the reader) is read and left unanswered, and its connection
//     is closed once nothing else of the daemon runs, so that its client
//     sees the daemon gone (the request was never begun). One-way requests
//     and the quick lookups answered on the reader are still served;
//   - the requests in flight run on as usual, with their connections and
//     the command hosts' open, and send their replies; so does the work in
//     hand that a request began on a thread of its own (a repair,
//     DaemonContext::AddWorkInHand), which counts as a request in flight
//     until it ends. A command host that
//     one of them starts meanwhile is let in (a connection from a process
//     the broker started, CommandHostBroker::StartedHostOwns); every other
//     new connection is accepted and held unread, and closed when the
//     daemon ends (a tool that reads the start record, StartState.h, does
//     not connect meanwhile: it waits for the end, then starts the next
//     daemon once this one has let go of the database);
//   - work still running kFinishWorkMs after the exit request is given up
//     (DaemonContext::AbandonWork; the command hosts' connections are
//     closed, so their jobs end at once, TextureConversionJob.h);
//   - once no request is in flight, a client gets up to kLingerMs to end
//     its connection itself (a tool sends what follows an answer, such as
//     the release of an asset handle, then its goodbye); then the
//     listener, the held connections and every connection left (so the
//     command hosts end too) are closed, the readers joined, and Serve
//     returns true.
// Requests still running kStopWaitMs after the exit request make Serve
// answer false at once: the caller must then end the process (std::_Exit),
// without destroying the server or anything the requests use. An end for
// the end check (below) finishes nothing: the work is given up at once and
// the connections closed, as is a drain in which the check speaks; only
// the work in hand that was given up gets up to kGivenUpWorkMs to end
// first, so that its client still reads how it ended (a repair's last
// message and its end).
//
// Admission: a new connection is closed at once, before a byte is read and
// with a log line, when `maxConnections` connections are open already, or
// when it does not come from a process of the daemon's own user (the
// effective uid; SocketOwner.h finds the peer's). A connection whose user
// cannot be found is refused too.
//
// Per admitted connection, one reader thread:
//   - reads the handshake (at most kHandshakeTimeoutMs for all of it; see
//     DaemonFrames.h) and answers 'VADD' 340 49938 at once, unless the
//     client check (below) answers why the client is not this daemon's:
//     the connection is then logged and closed unanswered;
//   - then reads request frames, each handed to a worker (WorkPool, at most
//     kMaxWorkers requests run at once in the daemon, at most
//     kMaxInFlightPerConnection per connection; the reader waits at those
//     bounds; a request its code's reader start takes, RequestRegistry.h,
//     counts among the connection's until it ends, with or without a
//     worker). The worker runs the code's handler (RequestRegistry.h), then
//     sends the reply for a non-zero id: the handler's body, or an empty one
//     when the code has no handler (logged) or the handler threw (logged).
//     Id 0 never gets a reply;
//   - the goodbye word, or the end of the stream between frames, closes the
//     connection normally; a frame cut short, an oversized length or a
//     wrong handshake is logged and closes it. Nothing a client sends can
//     end or crash the daemon, and other connections are served meanwhile.
// A closed connection leaves the context's list and its close observers
// run, on its reader thread.
//
// RequestStop is async-signal-safe (an atomic flag polled every
// kPollMs). SetEndCheck (before Serve) gives a check that Serve makes at
// the same pace, and again before it takes a connection that came while it
// waited (so a connection that comes after the store changed is handled as
// one that comes while the daemon ends): when it answers a reason, Serve
// logs it and ends without finishing the work in hand (UserDataWatch.h:
// the store's files may be another daemon's by then). SetClientCheck
// (before Serve) gives the check of a client's handshake, called on its
// reader with the asset index path the client names: "" serves it,
// anything else is why not (logged). SetOnEnding (before Serve) gives what Serve
// calls once, as the end begins (the exit request taken, before the work
// in hand is finished): the daemon tells the tools there that it ends
// (StartState.h). One Serve per server; not copyable.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vaddaemon/WorkPool.h"

namespace VADFrames {
class ByteSource;
}  // namespace VADFrames

class DaemonConnection;
class DaemonContext;
class RequestRegistry;

class DaemonServer {
 public:
  static constexpr uint32_t kHandshakeTimeoutMs = 10000;
  static constexpr uint32_t kMaxWorkers = 64;
  static constexpr uint32_t kMaxInFlightPerConnection = 16;
  // The bounds of an end (above), from the exit request. Together they
  // stay below the 30 s that "closevaddaemon" gives a daemon to end.
  static constexpr uint32_t kFinishWorkMs = 20000;
  static constexpr uint32_t kStopWaitMs = 25000;
  static constexpr uint32_t kLingerMs = 2000;
  static constexpr uint32_t kGivenUpWorkMs = 5000;
  static constexpr uint32_t kPollMs = 100;

  DaemonServer(DaemonContext& context, const RequestRegistry& registry, uint32_t idleSeconds,
               uint32_t maxConnections);
  ~DaemonServer();
  DaemonServer(const DaemonServer&) = delete;
  DaemonServer& operator=(const DaemonServer&) = delete;

  bool Listen();
  uint16_t Port() const { return port_; }
  bool Serve();
  void RequestStop() { stopSignal_.store(true); }
  void SetEndCheck(std::function<std::string()> check) { endCheck_ = std::move(check); }
  void SetOnEnding(std::function<void()> onEnding) { onEnding_ = std::move(onEnding); }
  void SetClientCheck(std::function<std::string(const std::string&)> check) {
    clientCheck_ = std::move(check);
  }

 private:
  struct Reader;
  struct Pending;

  // Until the exit request; false when the end check asked for the end.
  bool AcceptUntilExit();
  // The end's work in hand (above); false when the end check spoke meanwhile.
  bool FinishWork(std::chrono::steady_clock::time_point exitAt);
  // Once the work is given up for the end check: waits, at most
  // kGivenUpWorkMs, while work in hand still runs.
  void SeeGivenUpWorkOut();
  // One turn of a closing daemon's listener: waits up to kPollMs for a
  // connection, accepts it, and reaps the readers that are done.
  void ServeTurn();
  // Whether a request is in flight (on a worker, or taken by a reader
  // start and not yet ended), or work in hand runs.
  bool RequestsInFlight();
  // Closes the connections whose request was not taken (the daemon was
  // ending), or those of command hosts.
  void CloseNotTaken();
  void CloseCommandHosts();
  // Checks the end check; true (logged, work given up) when it spoke.
  bool EndCheckSpoke();
  void Accept();
  bool Admit(int fd);
  // For a connection accepted once the exit was requested: whether it is
  // let in (a command host this daemon started, while work is not given up).
  bool AdmitWhileEnding(int fd);
  void ReadConnection(const std::shared_ptr<DaemonConnection>& connection,
                      const std::shared_ptr<Reader>& reader);
  // Reads the hello from `source` (which then goes on with the frames).
  bool Handshake(DaemonConnection& connection, VADFrames::ByteSource& source);
  void Handle(const std::shared_ptr<DaemonConnection>& connection, uint32_t code, uint32_t id,
              std::vector<uint8_t> body);
  // Hands the request to a worker, with what its reader start began, if
  // anything; false (the request ended unanswered) once the pool stopped.
  bool Submit(const std::shared_ptr<Pending>& pending, std::shared_ptr<void> started);
  void ReapReaders(bool all);
  void CloseAll();

  DaemonContext& context_;
  const RequestRegistry& registry_;
  const uint32_t idleSeconds_;
  const uint32_t maxConnections_;
  int listener_ = -1;
  uint16_t port_ = 0;
  uint64_t accepted_ = 0;
  std::atomic<bool> stopSignal_{false};
  std::function<std::string()> endCheck_;
  std::function<void()> onEnding_;
  std::function<std::string(const std::string&)> clientCheck_;
  WorkPool pool_{kMaxWorkers};
  std::mutex readersLock_;
  std::list<std::shared_ptr<Reader>> readers_;
  // Connections accepted while ending and held unread (above); Serve's
  // thread only.
  std::vector<int> held_;
};
