// CommandHostBroker: the daemon's side of command hosts, tool processes that
// registered (request 0x8C) to run jobs for the daemon.
//
// A job is a payload that starts with its u32 command id (0 validate, 1
// texture conversion, 2 archive save, 3 archive install). RunJob sends it to
// a host as notification 1 and waits for the host's one-way 0x8D, whose
// body is the job's reply. A host runs one job at a time, in the order it
// received them, and its 0x8D names no job: so the broker keeps the jobs
// sent to each host in that order, and each 0x8D answers the first of them.
// Up to kJobsPerHost jobs are sent to a host at once (the least loaded),
// so that the host finds its next job waiting when it ends one; a further
// job waits for a host with room.
//
// Several hosts: a job that finds every host full while fewer than
// MaxHosts() are registered starts one more (one start at a time), and
// takes whichever host has room first; so jobs run side by side once
// more of them come than the hosts hold. A started host stays until its
// connection closes. A start that ends without registering while other
// hosts serve starts no further extra host until a host registers again.
// Two jobs that name the same folder (validation and texture jobs: the
// payload after the id) never run on two hosts at once: while one is
// queued on a host, the other waits for room on that host; so do all
// archive saves (2), and all archive installs (3), among themselves.
//
// Jobs that start alone: a job given a JobStart takes what it holds (an
// asset held for reading) only as it leaves for a host that starts it at
// once, so that while it waits for a host it holds nothing. It goes only to
// a host without any other job, and no job is sent to a host behind it, so
// that it never waits behind a job that stalls and none waits behind it
// (a validation may run until its bound). Once a host with no job has a
// place reserved for it, JobStart::take fills its payload and takes its
// hold; when it cannot (the asset is busy), the place goes back and
// JobStart::await waits, holding nothing, before the job looks for a host
// again. The broker keeps what `take` handed it until the job has ended on
// its host (its answer came, before the answer handler runs, or the host
// closed), even past the job's bound, since the host may still be reading;
// a job its host never started lets it go before it is sent again.
//
// Hosts: Register marks the connection (DaemonConnection::MarkCommandHost)
// and adds it; a closed connection leaves the list (OnClosed, a close
// observer): the job it was running (its first) fails at once with
// kHostGone, and the jobs queued behind it, which it never started, are
// sent to another host. A host that ended its connection with the goodbye
// word did so between jobs (as a host that stopped a job at its bound
// does, once it has answered it): all of its jobs go to another host.
// So does the one job of a host that surely never read it: the host had
// no other job out, nothing came from it after the job was sent
// (DaemonConnection::FramesRead), and its connection ended with a reset,
// which its end sends only when it is closed with bytes unread. Unread
// bytes with nothing else out and nothing asked since are that job (or the
// reply to a request that the host's main thread, which runs the jobs,
// still waited for), so it never started, whatever its kind; a host that
// read its job and died gives no reset, and its job fails as above. A host
// killed while idle, whose process ends a while after the kill (a large
// heap), so gives its next job to another host.
// A host whose process has ended (its end of the
// connection closed) while its reader has not seen it yet is found when a
// job is about to be sent to it: it takes no job from then on, and the job
// goes to another host (or a new one) instead of being lost; the host
// leaves the list when its reader ends, so that an answer it sent before it
// ended still reaches its job. A host that a job fails to reach is closed
// and leaves the list at once; that job, which it never had whole, is sent
// again. Complete hands a 0x8D body to the first job of that
// host (to its answer handler, when it has one, right there); a 0x8D from a
// host without a job is dropped (logged).
//
// Spawning: when a job finds no registered host, and the executable
// "<bin>/VandruUtil" exists, the broker starts "VandruUtil vadcommandhost
// -kivlog" (working directory the bin folder, a session of its own,
// standard input on /dev/null, standard output and error appended to
// "<UserData>/vadcommandhost.log" (opened by the daemon, never through a
// link nor another user's file, OwnLogFile.h; else /dev/null), no other
// inherited descriptor; with
// "-kivlog" the host's engine log, and with it every script runtime message
// as "ScriptLog> ...", goes to standard output and so into that file) and waits
// up to kRegistrationTimeoutMs for a host to register. The wait ends early
// when the started process exits without registering. Without the
// executable the job fails at once with kNoHost. One start is in progress at
// a time; jobs that need a host meanwhile wait for the same one. A started
// process that has ended is reaped (so it stays no zombie) when a job looks
// for a host, when a connection closes and when the broker is destroyed; one
// that neither registers nor ends in time is left running.
//
// Jobs without a waiter: a job that TrySend sent may be left to end by
// itself (Detach): no thread then waits for it. Its end is called once, on
// the thread that finds it: the thread that reads the host's answer (after
// the answer handler), the one that sees the host close, or the broker's
// watchdog thread when the job's bound passes; or, when its host closed
// before starting it, its resend handler, which hands the job to a thread
// that may wait (Finish sends it on, as RunJob would).
//
// Bounds: the wait for a registration is kRegistrationTimeoutMs (60 s); the
// wait for a host's reply ends when the host's connection closes, when the
// daemon gives up its work (DaemonContext::AbandonWork: kExiting), or at
// the job's deadline (by default the job bound, kJobTimeoutMs, 30 minutes
// from when it was made, far beyond any job; JobOptions::deadline sets
// another), whichever comes first; a job still looking for a host at its
// deadline ends then too (kTimedOut). A job without a waiter ends when its
// host closes or at its deadline (the watchdog); the daemon's end closes
// every host. Nothing waits without a bound. While the daemon ends, the
// jobs of the requests in flight run on (and may start hosts) until the
// work is given up; TrySend sends nothing once the exit was requested, as
// its request is not taken then.
//
// Threads: every member may be called from any thread; one lock guards the
// host list and the jobs, and no lock is held while a frame is sent or a
// handler (answer, end, resend) runs. A job's waiter is woken for its own
// job only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DaemonConnection;
class DaemonContext;

class CommandHostBroker {
 public:
  static constexpr uint32_t kRegistrationTimeoutMs = 60000;
  static constexpr uint32_t kJobTimeoutMs = 30 * 60 * 1000;
  static constexpr size_t kJobsPerHost = 2;
  // Hosts a daemon runs at most: one per processor, no fewer than
  // kFewestMaxHosts and no more than kMostMaxHosts. A host costs a process
  // and its memory even when idle, and hosts beyond the processors only
  // take turns on them.
  static constexpr size_t kFewestMaxHosts = 4;
  static constexpr size_t kMostMaxHosts = 8;
  static size_t MaxHosts();
  static constexpr const char* kHostExecutable = "VandruUtil";
  static constexpr const char* kHostCommand = "vadcommandhost";
  static constexpr const char* kHostLogSwitch = "-kivlog";
  static constexpr const char* kHostLogFile = "vadcommandhost.log";

  enum class JobResult {
    kOk,        // `reply` holds the host's 0x8D body
    kNoHost,    // no host registered, and none could be started
    kHostGone,  // the host's connection closed before it answered
    kTimedOut,  // no registration, or no answer, within the bound
    kExiting,   // the daemon gave up its work (it is ending)
  };

  // `jobTimeoutMs`: the bound of a job's wait for its answer (tests
  // shorten it).
  explicit CommandHostBroker(DaemonContext& context, uint32_t jobTimeoutMs = kJobTimeoutMs);
  ~CommandHostBroker();
  CommandHostBroker(const CommandHostBroker&) = delete;
  CommandHostBroker& operator=(const CommandHostBroker&) = delete;

  // Request 0x8C.
  void Register(const std::shared_ptr<DaemonConnection>& connection);
  // Request 0x8D from `connection`.
  void Complete(const DaemonConnection& connection, std::vector<uint8_t> reply);
  // Close observer.
  void OnClosed(const std::shared_ptr<DaemonConnection>& connection);

  // True when a host is registered, or one could be started.
  bool HostAvailable() const;
  // Whether a host process that the broker started (and has not reaped)
  // holds the socket whose inode is `socketInode`: a connection from one
  // of the daemon's own hosts (SocketOwner::PeerInode of its far end).
  bool StartedHostOwns(uint64_t socketInode) const;
  size_t HostCount() const;
  // Entries the watchdog holds (for checks): about the jobs without a
  // waiter that are out.
  size_t WatchedJobCount() const;

  // Takes a host's reply on the thread that receives it (the host
  // connection's reader), so the job's requester can be answered at once.
  using AnswerHandler = std::function<void(const std::vector<uint8_t>& reply)>;

  // How a job that starts alone takes what it holds (see above).
  struct JobStart {
    // Called with no lock held, the job's place reserved on a host without
    // another job: fills `payload` (which replaces the one the job was
    // made with) and `held`; false, holding nothing, when it cannot now.
    // `held` is let go with the broker's lock held: it must not call the
    // broker.
    std::function<bool(std::vector<uint8_t>* payload, std::shared_ptr<void>* held)> take;
    // Waits, holding nothing, until `take` may succeed, at most until `until`.
    std::function<void(std::chrono::steady_clock::time_point until)> await;
  };
  struct JobOptions {
    AnswerHandler onAnswer;  // as RunJob's `onAnswer`
    // When the job is given up (kTimedOut); the epoch (the default) means
    // kJobTimeoutMs from when the job is made.
    std::chrono::steady_clock::time_point deadline{};
    JobStart start;  // with `take` set, the job starts alone
  };

  // Sends the job and waits for its reply (see above). `error` (may be
  // null) receives a plain-language reason on failure. With `onAnswer`, the
  // host's reply goes to it instead of `reply`, on the thread that receives
  // the 0x8D and before RunJob returns kOk; RunJob answers kOk exactly when
  // `onAnswer` was called, and never while it runs.
  JobResult RunJob(const std::vector<uint8_t>& payload, std::vector<uint8_t>* reply,
                   std::string* error, AnswerHandler onAnswer = nullptr);
  JobResult RunJob(const std::vector<uint8_t>& payload, std::vector<uint8_t>* reply,
                   std::string* error, JobOptions options);

  // A job sent by TrySend, for Finish.
  struct SentJob;

  // Sends the job at once when that needs no wait: no job waits for a host,
  // and a host has room (the one holding a job of the same key, if any);
  // no host is started. Answers the sent job, or null when nothing was sent
  // (then RunJob does it all). `onAnswer` is called as RunJob calls it.
  // A job that starts alone is sent only when its `take` succeeds at once.
  std::shared_ptr<SentJob> TrySend(const std::vector<uint8_t>& payload, AnswerHandler onAnswer);
  std::shared_ptr<SentJob> TrySend(const std::vector<uint8_t>& payload, JobOptions options);
  // Waits for the answer of a job that TrySend sent, exactly as RunJob waits
  // once it has sent a job (a job its host never started goes to another).
  // Also for a job whose resend handler was called: it is sent anew.
  JobResult Finish(const std::shared_ptr<SentJob>& sent, std::vector<uint8_t>* reply,
                   std::string* error);

  // How a job without a waiter ends (Detach). Exactly one of the two is
  // called, once, with no lock held; either may run before Detach returns.
  struct JobEnd {
    // The job ended: kOk after its answer handler ran, kHostGone when its
    // host closed while running it, kTimedOut at its bound (a later answer
    // then goes nowhere, and the host's queue keeps its order).
    std::function<void(JobResult result)> ended;
    // Its host closed before starting it: `again` must go to Finish on a
    // thread that may wait.
    std::function<void(const std::shared_ptr<SentJob>& again)> resend;
  };
  // Leaves the job TrySend sent to end by itself (above); no Finish may
  // wait for it. False when no watchdog could be started to bound it (the
  // job is unchanged: Finish must wait for it).
  bool Detach(const std::shared_ptr<SentJob>& sent, JobEnd end);

  // A message for a failed job.
  static std::string Describe(JobResult result);

 private:
  struct Host;
  struct Job;
  struct Spawn;

  // Under the lock: the host that holds a job with the key `key` (queued,
  // or with a place reserved), when it is open, or null.
  std::shared_ptr<Host> HostHoldingLocked(const std::vector<uint8_t>& key) const;
  // Under the lock: the open host with room for a job (one that starts
  // alone when `alone`) and the fewest jobs (queued or on their way), or
  // null.
  std::shared_ptr<Host> FreeHostLocked(bool alone) const;
  // A job made from `payload` and `options`.
  std::shared_ptr<Job> MakeJob(const std::vector<uint8_t>& payload, JobOptions options) const;
  // For a job that starts alone, with a place reserved on `host`: lets go
  // of what it held, then takes its payload and hold (JobStart::take);
  // false, with the place given back, when it could not.
  bool TakeStart(const std::shared_ptr<Job>& job, const std::shared_ptr<Host>& host);
  // The ends of jobs without a waiter, taken under the lock, to be run
  // once it is let go (RunEnds).
  using Ends = std::vector<std::function<void()>>;
  static void RunEnds(Ends& ends);
  // Under the lock: when `job` has no waiter and has settled (answered,
  // failed or to be sent again), moves its end to `ends`.
  static void SettleLocked(const std::shared_ptr<Job>& job, Ends* ends);

  // Under the lock: the host's connection closed (see above); the ends of
  // its jobs without a waiter go to `ends`.
  void HostClosedLocked(Host& host, Ends* ends);
  // Under the lock, for a host whose connection closed: whether it surely
  // never read its first job (see above); logged.
  static bool NeverReadLocked(const Host& host);
  // Under the lock: the host's client ended before its connection's reader
  // saw it; closes the connection and forgets the host at once.
  void DropHostLocked(const std::shared_ptr<Host>& host, Ends* ends);
  // Under the lock: starts the watchdog unless it runs; false when it
  // could not be started.
  bool StartWatchdogLocked();
  // The watchdog thread: ends the jobs without a waiter whose bound passed.
  void Watch();
  // Queues `job` on `host`, which AcquireHost or TrySend reserved a place
  // on, and sends it; kHostGone when the host closed or ended meanwhile
  // (nothing was sent). A send that fails answers kOk with the job marked
  // to be sent again.
  JobResult SendJob(const std::shared_ptr<Host>& host, const std::shared_ptr<Job>& job);
  // SendJob with the host's send lock held; false when nothing was sent.
  // The ends of other jobs of a host found gone go to `ends`.
  bool SendJobLocked(const std::shared_ptr<Host>& host, const std::shared_ptr<Job>& job,
                     Ends* ends);
  // Under the lock (released while the process starts): starts a host
  // process unless one is starting; false when none can be started.
  bool StartHostLocked(std::unique_lock<std::mutex>& hold);
  std::string HostExecutablePath() const;
  // Under the lock: collects the started processes that have ended (so
  // none stays a zombie) and marks the start in progress as ended.
  void ReapLocked();
  // Under the lock: starts one more host when every host is full, fewer
  // than MaxHosts() serve and no start is in progress (see above); true
  // when it started one, having let go of the lock meanwhile.
  bool StartExtraHostLocked(std::unique_lock<std::mutex>& hold);
  // Waits for a host with room (the one holding a job of the same key,
  // if any) and reserves a place on it for `job`; the result is kOk with
  // `*host` set, or why not.
  JobResult AcquireHost(const std::shared_ptr<Job>& job, std::shared_ptr<Host>* host);
  // Under the lock: the host a new `job` goes to now, or null when it would
  // have to wait.
  std::shared_ptr<Host> HostForLocked(const Job& job, std::shared_ptr<Host>* holder) const;
  // Sends `job` (on `host` when given, which it was sent to already) and
  // waits for its answer, sending it again when its host never started it.
  JobResult Drive(const std::shared_ptr<Job>& job, std::shared_ptr<Host> host,
                  std::vector<uint8_t>* reply, std::string* error);

  DaemonContext& context_;
  const uint32_t jobTimeoutMs_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<Host>> hosts_;
  std::shared_ptr<Spawn> spawn_;   // the start in progress, if any
  bool extraStartFailed_ = false;  // an extra start ended without registering
  size_t waitingForHost_ = 0;      // jobs waiting in AcquireHost for room
  std::vector<int> started_;       // ids of started processes not yet reaped
  // The jobs without a waiter and their deadlines, earliest first; an entry
  // whose job ended is dropped as it comes first, or when the list has
  // doubled (Detach).
  struct Deadline {
    std::chrono::steady_clock::time_point at;
    std::weak_ptr<Job> job;
  };
  std::deque<Deadline> deadlines_;
  static constexpr size_t kFewestDeadlinesToCompact = 64;
  size_t compactAt_ = kFewestDeadlinesToCompact;  // the size at which ended entries go
  std::thread watchdog_;
  std::condition_variable watchdogWake_;
  bool stopping_ = false;  // the broker is being destroyed
};
