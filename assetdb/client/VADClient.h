// VADClient: the process's one connection to the asset-database daemon.
//
// Every asset-database operation is a numbered request over one loopback
// TCP connection (wire format: assetdb/VADFrames.h). VADOpenDatabase opens
// the client at start-up: up to kDefaultAttempts connection attempts,
// kDefaultAttemptDelayMs apart, the daemon started before the second. A
// daemon that ends at once because another still owned the database (one
// that was closing as the tool started) is started again before a later
// attempt when no daemon is published then, so a tool that starts while
// the daemon closes finds the next one instead of failing. The
// wait before an attempt ends early once the owner block names a port other
// than the one the previous attempt found (polled every few ms): a daemon
// just started is connected to as soon as it listens, while the attempts,
// their order and their total bound stay as they are. Before each attempt
// the opening waits while the daemon's start record names a daemon that is
// starting or ending (DaemonStartWait.h, with its bounds); when it tells
// that no daemon can serve (a start that failed for a reason it knows, a
// daemon that ended during its start, made no progress or does not end),
// the opening writes that line on standard error and fails at once.
// Connect reads the daemon's port from the database-owner block, connects,
// sends the handshake and waits at most the handshake time-out (10 s) for
// the answer; then the reader thread runs until the connection ends. The
// state is process-wide: one connection, one reader thread, one set of
// options.
//
// Transact sends one request and waits for its reply; the reply body is
// appended to `reply` at its position (callers rewind it before reading).
// The request's payload is `request` from its position to its end, read in
// full before anything is sent, and the frame leaves in one send. A request
// that finds no usable connection tries again (up to the attempt count; the
// daemon is started before the second attempt only when restartDaemon
// allows, else the request fails after one attempt); once a byte of the
// frame has gone out it is never repeated. Post sends a one-way request (id
// 0) and does not wait. Both answer false at once while the client is not
// open.
//
// StartTransact and FinishTransact are the two halves of Transact, for a
// caller that puts several requests on the wire before it waits for the
// first reply (each reply finds its request by id, whatever the order).
// StartTransact sends the frame of a begun transaction whose reply stream
// is set: with `mayConnect` exactly as Transact sends; without it only over
// the connection that stands, trying nothing else: when there is none, or
// the frame could not go out whole (the connection is then dropped, and
// the daemon never acts on a frame cut off), it answers kNotSent, so that
// the caller may make the request in full later. FinishTransact waits for the reply of a sent
// transaction and answers what Transact would have; the caller ends the transaction. Given `lost`,
// a connection that ended before the reply sets it and is neither counted nor logged: the caller
// makes the request again in full (read-only requests only), as if it had gone out after the end.
//
// Threads and locks: any thread may call Transact and Post. The connection
// lock serialises connecting, writing frames and disconnecting; it is not
// held while a request waits. Only the reader thread reads the socket, once
// the handshake is done, through one buffer (a receive takes whatever has
// arrived); it reads a reply's body into the waiting request's reply stream
// and then wakes that request, so each reply costs the requester one
// wake-up. The socket has Nagle's delay turned off: every frame leaves in
// one write. Notifications 3 (result messages, into the
// request's ResultsLog) and 4 (web-request status) are handled at once on
// the reader thread; a question (2) is answered from a thread of its own
// started by the reader thread, so that a main thread waiting on the very
// request that asked cannot deadlock it; the others (0 hook value, 1
// command-host job, 5 and above) are queued and run one by one, in arrival
// order, as main-thread tasks of the worker queue. A job never starts
// inside another: a job's work that waits on the main thread runs the
// main thread's tasks meanwhile, and one that meets the next job leaves it
// queued until the job in hand has ended and sent its answer, so answers
// leave in the order the jobs came (the daemon takes them in that order).
//
// Failure: nothing throws. When the connection ends (a failed receive, an
// unknown tag, a length over its bound), every pending request fails at
// once ("VADClient> connection to VADDaemon lost; failing pending requests"
// in the log), then the connection-lost hook runs when one is set (a command
// host ends there rather than serve a later daemon), and later requests
// reconnect as above. Requests that fail for
// want of a connection are counted (LostRequestCount), so that a caller can
// tell a lost daemon from a request that the daemon refused. Disconnect shuts the
// socket down and joins the reader thread (it never kills a thread); on the
// reader thread itself it does nothing. Every wait here is bounded except
// a request's wait for a live daemon, which ends when the reply comes or
// the connection drops.
#pragma once

#include <cstddef>
#include <cstdint>

#include "assetdb/client/VADClientRequests.h"
#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/PString.h"

class ResultsLog;
class TStream;
class VADClientTransaction;
class VADTransactionCallback;
struct VADNotification;

struct VADClientOptions {
  // Called on the main thread with the value of each notification 0.
  void (*notificationHook)(uint32_t value) = nullptr;
  // Carried for callers; the client does not read them.
  bool flag1 = true;
  bool flag2 = true;
  bool flag3 = true;
  // Whether a request that finds no connection may start the daemon.
  bool restartDaemon = true;
  // Sent in the handshake.
  bool clientFlag = true;
};

// Timings of the connection. The defaults are the product's; tests shorten
// them (VADClient::SetTimings).
struct VADClientTimings {
  static constexpr uint32_t kDefaultAttempts = 11;
  static constexpr uint32_t kDefaultAttemptDelayMs = 1000;
  static constexpr uint32_t kDefaultHandshakeTimeoutMs = 10000;
  static constexpr uint32_t kDefaultCloseDaemonWaitMs = 30000;

  uint32_t attempts = kDefaultAttempts;              // At least 1.
  uint32_t attemptDelayMs = kDefaultAttemptDelayMs;  // Longest wait before a later attempt.
  uint32_t handshakeTimeoutMs = kDefaultHandshakeTimeoutMs;
  uint32_t closeDaemonWaitMs = kDefaultCloseDaemonWaitMs;
};

// Opens the client (see above); true at once when already open. On failure
// logs "VADOpenDatabase> unable to connect to VADDaemon", resets the options
// and answers false. When the owner block or its lock belongs to another
// user, no daemon can serve this one: the attempts stop at once, after the
// line of ForeignOwnerFileText (ForeignOwnerFile.h) on standard error. On success makes the
// process's SpecRegistry.
bool VADOpenDatabase(const VADClientOptions& options);

class VADClient : public VADClientRequests {
 public:
  // Runs a command-host job (notification 1): reads `payload`, writes its
  // answer into `reply`, which is then sent back as request 0x8D.
  using CommandHostHook = void (*)(TStream& payload, TStream& reply);
  // Takes a web-request status (notification 4): the request's handle and
  // the rest of the payload. Runs on the reader thread, so it must not wait
  // for a thread that is making a daemon request.
  using HttpStatusHook = void (*)(uint64_t handle, TStream& status);
  // Where Connect finds the daemon's port for an asset index path; 0 means
  // no daemon. The default reads the database-owner block.
  using PortSource = uint16_t (*)(const Kiv::File::Path& assetIndexPath);
  // Starts the daemon; true when a process was started. The default
  // launches GetDaemonExecutablePath hidden, in its own folder.
  using DaemonStarter = bool (*)();
  // Told that a connection was lost: it ended other than by this process's
  // orderly end (Close, Disconnect(false)), because the daemon went away or
  // broke the stream, or a send on it failed (Disconnect(true)). Runs on
  // the connection's reader thread as it ends, once the pending requests
  // have failed (a Disconnect that joins that thread meanwhile waits for
  // it).
  using ConnectionLostHook = void (*)();

  static bool Transact(uint32_t code, TStream& request, TStream& reply,
                       VADTransactionCallback* callback, ResultsLog* results, bool keepResults);
  static bool Post(uint32_t code, TStream& request);
  // Waits until the daemon has handled the one-way requests this process
  // posted on the connection that stands: a keep-alive (0x00) round trip
  // over that connection only. The daemon handles a connection's one-way
  // requests in order, on its reader, before it reads the next frame, and
  // answers the keep-alive there too, so the answer comes after them. False
  // when no connection stands or it ends before the answer.
  static bool AwaitPosted();

  enum class StartResult {
    kSent,
    kNotSent,  // Without `mayConnect`: the daemon did not get the request.
    kFailed,   // The request failed, as Transact would answer false.
  };
  static StartResult StartTransact(uint32_t code, TStream& request,
                                   VADClientTransaction& transaction, bool mayConnect);
  static bool FinishTransact(uint32_t code, VADClientTransaction& transaction,
                             bool* lost = nullptr);
  // Makes sure a connection stands (see above).
  static bool Connect();
  // For the commands of a batch, each of which must find a daemon as a
  // separate run of the tool would: when the client is open and no
  // connection stands (the daemon went away), connects as VADOpenDatabase
  // does, whatever restartDaemon says (up to the attempt count, the daemon
  // started before the second attempt). True when a connection stands.
  // After a call that found no daemon, later calls try once, without
  // starting one, until a connection stands again: a daemon that cannot be
  // started costs one wait, not one per command.
  static bool Reconnect();
  static void Disconnect(bool afterFailure);
  // Sends n bytes; on failure drops the connection. False at once without
  // a transport.
  static bool SendOrDisconnect(const void* data, uint32_t n);
  // Shut-down: disconnects (with the goodbye word), resets the options,
  // drops queued notifications, joins question threads and destroys the
  // spec registry. Nothing when not open.
  static void Close();
  // Asks the daemon to end (request 0x10E) and waits until it has closed
  // the connection, at most closeDaemonWaitMs; true when it did. Clears
  // restartDaemon first. `answered` (may be null) tells whether a daemon
  // answered the request: false when none was reached.
  static bool CloseDaemon(bool* answered = nullptr);

  static bool IsOpen();
  static bool IsConnected();
  // The number of requests (Transact and Post) that failed while the client
  // was open because the connection ended or could not be used: pending
  // when it dropped, cut off while sent or read, or finding no connection
  // that could be made. Counts from process start; the close request
  // (0x10E), after which the daemon ends the connection, is not counted.
  static uint64_t LostRequestCount();
  // The same count for the requests that the calling thread made, for a
  // caller that runs requests on several threads at once.
  static uint64_t LostRequestCountOfThisThread();

  // Notifications (see above).
  static void DispatchNotification(VADNotification* note);
  static void HandleNotification(TStream& payload, uint32_t code);
  static void RunQueuedNotification();
  static void ClearNotificationQueue();
  // Posts request 0x96 {id, answer}.
  static bool AnswerTransaction(uint32_t id, int32_t answer);
  // Starts the question thread for notification 2.
  static void StartTransactionQuery(uint32_t id, const Kiv::PString& name, const KUID& asset);
  static void FailPendingTransactions();

  // Hooks; null clears them. Thread-safe.
  static void SetCommandHostHook(CommandHostHook hook);
  static CommandHostHook GetCommandHostHook();
  static void SetHttpStatusHook(HttpStatusHook hook);
  static void SetConnectionLostHook(ConnectionLostHook hook);

  // Settings (for tests); null restores the default.
  static void SetTimings(const VADClientTimings& timings);
  static VADClientTimings GetTimings();
  static void SetPortSource(PortSource source);
  static void SetDaemonStarter(DaemonStarter starter);

  // The two values of the daemon's handshake answer.
  static void GetHandshakeValues(uint32_t* first, uint32_t* second);
  // Notifications queued and not yet run; question threads not yet joined.
  static size_t QueuedNotificationCount();
  static void JoinQuestionThreads();

  // The reader thread's start function; `context` is its connection's
  // internal record. Started by Connect only.
  static uint32_t ReaderThread(void* context);
};
