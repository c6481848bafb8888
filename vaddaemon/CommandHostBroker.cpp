#include "vaddaemon/CommandHostBroker.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <filesystem>
#include <system_error>
#include <thread>

#include "assetdb/protocol/VADNotification.h"
#include "foundation/diag/OwnLogFile.h"
#include "kiv/Log.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"

extern char** environ;

// One job sent (or being sent) to a host.
struct CommandHostBroker::Job {
  std::vector<uint8_t> key;  // jobs of one key never run on two hosts at once
  std::vector<uint8_t> payload;
  std::vector<uint8_t> reply;
  std::chrono::steady_clock::time_point deadline;  // given up then
  JobStart start;                                  // with `take`: it starts alone
  std::shared_ptr<void> held;  // what `take` took, until the job has ended on its host
  AnswerHandler onAnswer;      // the job's, if any; cleared when its waiter leaves or it times out
  JobEnd end;                  // set while the job has no waiter (Detach)
  bool answered = false;       // its 0x8D arrived
  bool answering = false;      // its answer handler is running
  bool failed = false;         // its host closed while running it
  bool resend = false;         // its host closed before starting it
  uint64_t framesBefore = 0;   // the frames read from its host when it was sent
  // Signalled when one of the above changes, for the job's waiter alone
  // (the broker's `changed_` is for jobs looking for a host).
  std::condition_variable settled;

  bool Alone() const { return static_cast<bool>(start.take); }
};

struct CommandHostBroker::Host {
  std::shared_ptr<DaemonConnection> connection;
  // The jobs sent and not answered, in the order sent: the host runs the
  // first one, the others wait in its queue.
  std::deque<std::shared_ptr<Job>> jobs;
  // Held while a job is queued here and sent, so that jobs leave in the
  // order of `jobs`. Taken before the broker's lock, never after it.
  std::mutex sendLock;
  // The jobs that chose this host and are not queued yet.
  std::vector<std::shared_ptr<Job>> reserved;
  bool gone = false;  // the connection closed
  // Its process has closed its end, though the connection's reader may
  // still have its last answers to read: no job is sent to it any more,
  // and OnClosed ends it once the reader has read everything.
  bool ending = false;

  size_t Load() const { return jobs.size() + reserved.size(); }
  // Room for one more job: none is out with it, or, for a job that does not
  // start alone, fewer than kJobsPerHost are and none of them starts alone.
  bool HasRoom(bool alone) const {
    if (Load() == 0) return true;
    const auto startsAlone = [](const std::shared_ptr<Job>& job) { return job->Alone(); };
    return !alone && Load() < kJobsPerHost && std::none_of(jobs.begin(), jobs.end(), startsAlone) &&
           std::none_of(reserved.begin(), reserved.end(), startsAlone);
  }
  bool Holds(const std::vector<uint8_t>& key) const {
    const auto same = [&](const std::shared_ptr<Job>& job) { return job->key == key; };
    return std::any_of(jobs.begin(), jobs.end(), same) ||
           std::any_of(reserved.begin(), reserved.end(), same);
  }
};

struct CommandHostBroker::SentJob {
  std::shared_ptr<Job> job;
  std::shared_ptr<Host> host;  // null: the job is to be sent (again)
};

// A host process being started: its id and whether it has ended.
struct CommandHostBroker::Spawn {
  pid_t pid = 0;
  bool ended = false;
};

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kJobIdBytes = 4;
constexpr uint8_t kJobValidate = 0;
constexpr uint8_t kJobTextureConvert = 1;

// The key of a job: a validation or texture job is keyed by the folder it
// names (the payload after the id), so both kinds of job on one folder
// share a key; any other job by its id alone.
std::vector<uint8_t> JobKey(const std::vector<uint8_t>& payload) {
  if (payload.size() < kJobIdBytes) return payload;
  const bool folderJob = payload[1] == 0 && payload[2] == 0 && payload[3] == 0 &&
                         (payload[0] == kJobValidate || payload[0] == kJobTextureConvert);
  if (!folderJob) return std::vector<uint8_t>(payload.begin(), payload.begin() + kJobIdBytes);
  std::vector<uint8_t> key{'F'};
  key.insert(key.end(), payload.begin() + kJobIdBytes, payload.end());
  return key;
}

// Starts `path` as a command host; the process id, or 0.
pid_t StartProcess(const std::string& path, const std::string& folder, const std::string& logPath) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return 0;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return 0;
  }
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  // The log is opened here, never through a link nor another user's file;
  // without it the host writes to /dev/null.
  std::string refusal;
  const int log = OpenOwnLogFile(logPath, 0644, &refusal);
  if (!refusal.empty()) Kiv::Log::Printf("vaddaemon> %s\n", refusal.c_str());
  if (log >= 0) {
    posix_spawn_file_actions_adddup2(&actions, log, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string name = CommandHostBroker::kHostExecutable;
  std::string command = CommandHostBroker::kHostCommand;
  std::string logSwitch = CommandHostBroker::kHostLogSwitch;
  char* argv[] = {name.data(), command.data(), logSwitch.data(), nullptr};
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (log >= 0) ::close(log);
  return failed == 0 ? pid : 0;
}

}  // namespace

size_t CommandHostBroker::MaxHosts() {
  static const size_t limit =
      std::clamp<size_t>(std::thread::hardware_concurrency(), kFewestMaxHosts, kMostMaxHosts);
  return limit;
}

CommandHostBroker::CommandHostBroker(DaemonContext& context, uint32_t jobTimeoutMs)
    : context_(context), jobTimeoutMs_(jobTimeoutMs) {}

CommandHostBroker::~CommandHostBroker() {
  std::unique_lock<std::mutex> hold(lock_);
  stopping_ = true;
  // Ends still held refer to the requests they would answer: let them go.
  // Every job holding one has its entry among the deadlines.
  for (const Deadline& deadline : deadlines_) {
    if (auto job = deadline.job.lock()) job->end = JobEnd();
  }
  deadlines_.clear();
  ReapLocked();
  hold.unlock();
  watchdogWake_.notify_all();
  if (watchdog_.joinable()) watchdog_.join();
}

void CommandHostBroker::RunEnds(Ends& ends) {
  for (auto& end : ends) end();
  ends.clear();
}

void CommandHostBroker::SettleLocked(const std::shared_ptr<Job>& job, Ends* ends) {
  if (!job->end.ended || job->answering) return;
  JobEnd end = std::move(job->end);
  job->end = JobEnd();
  if (job->answered) {
    ends->push_back([ended = std::move(end.ended)] { ended(JobResult::kOk); });
  } else if (job->failed) {
    ends->push_back([ended = std::move(end.ended)] { ended(JobResult::kHostGone); });
  } else if (job->resend) {
    auto again = std::make_shared<SentJob>();
    again->job = job;
    ends->push_back([resend = std::move(end.resend), again] { resend(again); });
  } else {
    job->end = std::move(end);  // still out with its host
  }
}

std::string CommandHostBroker::HostExecutablePath() const {
  Kiv::File::Path path = context_.BinPath();
  path.AddPath(kHostExecutable);
  return path.Str();
}

void CommandHostBroker::Register(const std::shared_ptr<DaemonConnection>& connection) {
  if (!connection) return;
  connection->MarkCommandHost();
  std::lock_guard<std::mutex> hold(lock_);
  for (const auto& host : hosts_) {
    if (host->connection == connection) return;
  }
  auto host = std::make_shared<Host>();
  host->connection = connection;
  hosts_.push_back(std::move(host));
  spawn_.reset();  // a start in progress has done its work
  extraStartFailed_ = false;
  Kiv::Log::Printf("vaddaemon> connection %llu registered as a command host\n",
                   static_cast<unsigned long long>(connection->Number()));
  changed_.notify_all();
}

void CommandHostBroker::Complete(const DaemonConnection& connection, std::vector<uint8_t> reply) {
  std::unique_lock<std::mutex> hold(lock_);
  for (const auto& host : hosts_) {
    if (host->connection.get() != &connection) continue;
    if (host->jobs.empty()) break;
    // The host answers its jobs in the order they were sent.
    const std::shared_ptr<Job> job = host->jobs.front();
    host->jobs.pop_front();
    // The job has ended on its host: what it held goes before anyone hears
    // of its end.
    job->held.reset();
    if (job->onAnswer) {
      // The job's waiter does not give up while the handler runs, so the
      // handler is the job's only answer.
      job->answering = true;
      hold.unlock();
      try {
        job->onAnswer(reply);
      } catch (const std::exception& error) {
        Kiv::Log::Printf("vaddaemon> a command host's answer could not be passed on: %s\n",
                         error.what());
      }
      hold.lock();
      job->answering = false;
    } else {
      job->reply = std::move(reply);
    }
    job->answered = true;
    // A job without a waiter ends here, on this thread.
    std::function<void(JobResult)> ended = std::move(job->end.ended);
    job->end = JobEnd();
    // Signalled after the lock is let go, so the job's waiter does not wake
    // only to wait for it; `job` keeps its condition alive meanwhile.
    hold.unlock();
    job->settled.notify_one();
    changed_.notify_all();  // room on the host
    if (ended) ended(JobResult::kOk);
    return;
  }
  Kiv::Log::Printf("vaddaemon> job reply from connection %llu without a job, dropped\n",
                   static_cast<unsigned long long>(connection.Number()));
}

bool CommandHostBroker::NeverReadLocked(const Host& host) {
  const DaemonConnection& connection = *host.connection;
  if (host.jobs.size() != 1 || !connection.EndedByReset() ||
      connection.FramesRead() != host.jobs.front()->framesBefore)
    return false;
  Kiv::Log::Printf(
      "vaddaemon> command host on connection %llu ended without reading its job; it goes to "
      "another host\n",
      static_cast<unsigned long long>(connection.Number()));
  return true;
}

void CommandHostBroker::HostClosedLocked(Host& host, Ends* ends) {
  host.gone = true;
  // A host says goodbye only between jobs: it started none of those left;
  // nor a job it never read.
  const bool between = host.connection->SaidGoodbye() || NeverReadLocked(host);
  for (size_t i = 0; i < host.jobs.size(); ++i) {
    // Only the first job had started: the others go to another host.
    if (i == 0 && !between) {
      host.jobs[i]->failed = true;
    } else {
      host.jobs[i]->resend = true;
    }
    host.jobs[i]->held.reset();  // it runs no longer, or is taken anew as it is sent again
    host.jobs[i]->settled.notify_one();
    SettleLocked(host.jobs[i], ends);
  }
  host.jobs.clear();
  changed_.notify_all();
}

void CommandHostBroker::DropHostLocked(const std::shared_ptr<Host>& host, Ends* ends) {
  Kiv::Log::Printf("vaddaemon> command host on connection %llu has gone away\n",
                   static_cast<unsigned long long>(host->connection->Number()));
  host->connection->Close();  // its reader ends, and OnClosed finds it gone
  HostClosedLocked(*host, ends);
  hosts_.erase(std::remove(hosts_.begin(), hosts_.end(), host), hosts_.end());
}

void CommandHostBroker::OnClosed(const std::shared_ptr<DaemonConnection>& connection) {
  Ends ends;
  {
    std::lock_guard<std::mutex> hold(lock_);
    ReapLocked();
    for (const auto& host : hosts_) {
      if (host->connection == connection) HostClosedLocked(*host, &ends);
    }
    hosts_.erase(std::remove_if(hosts_.begin(), hosts_.end(),
                                [&](const std::shared_ptr<Host>& host) { return host->gone; }),
                 hosts_.end());
    changed_.notify_all();
  }
  RunEnds(ends);
}

bool CommandHostBroker::HostAvailable() const {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!hosts_.empty()) return true;
  }
  return ::access(HostExecutablePath().c_str(), X_OK) == 0;
}

bool CommandHostBroker::StartedHostOwns(uint64_t socketInode) const {
  std::vector<int> started;
  {
    std::lock_guard<std::mutex> hold(lock_);
    started = started_;
  }
  // A process not reaped keeps its id, even once it has ended.
  const std::string name = "socket:[" + std::to_string(socketInode) + "]";
  for (const int pid : started) {
    std::error_code error;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      std::error_code unreadable;
      if (fs::read_symlink(it->path(), unreadable).string() == name) return true;
    }
  }
  return false;
}

size_t CommandHostBroker::HostCount() const {
  std::lock_guard<std::mutex> hold(lock_);
  return hosts_.size();
}

size_t CommandHostBroker::WatchedJobCount() const {
  std::lock_guard<std::mutex> hold(lock_);
  return deadlines_.size();
}

std::shared_ptr<CommandHostBroker::Host> CommandHostBroker::HostHoldingLocked(
    const std::vector<uint8_t>& key) const {
  for (const auto& host : hosts_) {
    if (!host->gone && !host->ending && !host->connection->IsClosed() && host->Holds(key))
      return host;
  }
  return nullptr;
}

std::shared_ptr<CommandHostBroker::Host> CommandHostBroker::FreeHostLocked(bool alone) const {
  std::shared_ptr<Host> free;
  size_t freeLoad = 0;
  for (const auto& host : hosts_) {
    const size_t load = host->Load();
    if (host->gone || host->ending || host->connection->IsClosed() || !host->HasRoom(alone))
      continue;
    if (!free || load < freeLoad) {
      free = host;
      freeLoad = load;
    }
  }
  return free;
}

bool CommandHostBroker::StartHostLocked(std::unique_lock<std::mutex>& hold) {
  if (spawn_) return true;
  const std::string path = HostExecutablePath();
  if (::access(path.c_str(), X_OK) != 0) return false;
  Kiv::File::Path log = context_.UserDataPath();
  log.AddPath(kHostLogFile);
  // Other jobs see the start in progress and wait for it.
  auto spawn = std::make_shared<Spawn>();
  spawn_ = spawn;
  hold.unlock();
  const pid_t pid = StartProcess(path, context_.BinPath().Str(), log.Str());
  hold.lock();
  if (pid == 0) {
    Kiv::Log::Printf("vaddaemon> could not start the command host '%s'\n", path.c_str());
    if (spawn_ == spawn) spawn_.reset();
    return false;
  }
  spawn->pid = pid;
  started_.push_back(pid);
  Kiv::Log::Printf("vaddaemon> started command host process %d\n", int(pid));
  return true;
}

void CommandHostBroker::ReapLocked() {
  for (auto it = started_.begin(); it != started_.end();) {
    int status = 0;
    const pid_t done = ::waitpid(*it, &status, WNOHANG);
    if (done == 0) {
      ++it;
      continue;
    }
    if (spawn_ && spawn_->pid == *it) spawn_->ended = true;
    it = started_.erase(it);
  }
}

bool CommandHostBroker::StartExtraHostLocked(std::unique_lock<std::mutex>& hold) {
  if (spawn_) {
    ReapLocked();
    if (!spawn_->ended) return false;  // still starting
    // Ended without registering: no more extra starts for now.
    spawn_.reset();
    extraStartFailed_ = true;
    Kiv::Log::Printf("vaddaemon> an extra command host ended before it registered\n");
    return false;
  }
  if (extraStartFailed_ || hosts_.size() >= MaxHosts()) return false;
  // A start that fails at once (no program, no process) is not tried again
  // on every wake either.
  const bool started = StartHostLocked(hold);
  if (!started) extraStartFailed_ = true;
  return started;
}

CommandHostBroker::JobResult CommandHostBroker::AcquireHost(const std::shared_ptr<Job>& job,
                                                            std::shared_ptr<Host>* host) {
  std::unique_lock<std::mutex> hold(lock_);
  const auto jobDeadline = job->deadline;
  std::shared_ptr<Spawn> waitingFor;
  Clock::time_point registrationDeadline;
  for (;;) {
    if (context_.WorkAbandoned()) return JobResult::kExiting;
    std::shared_ptr<Host> holder;
    *host = HostForLocked(*job, &holder);
    if (*host) {
      (*host)->reserved.push_back(job);  // the job's place, until SendJob queues it
      return JobResult::kOk;
    }
    // A start lets go of the lock: what changed meanwhile is looked at anew.
    if (!hosts_.empty() && !holder && StartExtraHostLocked(hold)) continue;
    if (hosts_.empty()) {
      ReapLocked();
      if (waitingFor && spawn_ == waitingFor &&
          (waitingFor->ended || Clock::now() >= registrationDeadline)) {
        // That start did not bring a host: forget it, so a later job may
        // start another.
        spawn_.reset();
        return waitingFor->ended ? JobResult::kNoHost : JobResult::kTimedOut;
      }
      if (spawn_ && spawn_ != waitingFor && spawn_->ended) spawn_.reset();  // an earlier start
      if (!spawn_ && !StartHostLocked(hold)) return JobResult::kNoHost;
      if (waitingFor != spawn_) {
        waitingFor = spawn_;
        registrationDeadline = Clock::now() + std::chrono::milliseconds(kRegistrationTimeoutMs);
      }
    }
    if (Clock::now() >= jobDeadline) return JobResult::kTimedOut;
    // Short waits, so the end of the daemon's work is seen soon (it does
    // not signal this condition).
    ++waitingForHost_;
    changed_.wait_until(hold, std::min(jobDeadline, Clock::now() + std::chrono::milliseconds(200)));
    --waitingForHost_;
  }
}

std::shared_ptr<CommandHostBroker::Host> CommandHostBroker::HostForLocked(
    const Job& job, std::shared_ptr<Host>* holder) const {
  // A job whose key is out with a host follows it there.
  *holder = HostHoldingLocked(job.key);
  if (*holder) return (*holder)->HasRoom(job.Alone()) ? *holder : nullptr;
  return FreeHostLocked(job.Alone());
}

bool CommandHostBroker::TakeStart(const std::shared_ptr<Job>& job,
                                  const std::shared_ptr<Host>& host) {
  std::shared_ptr<void> earlier;
  {
    std::lock_guard<std::mutex> hold(lock_);
    earlier = std::move(job->held);
  }
  earlier.reset();  // before it is taken again, which would wait for a writer waiting on it
  std::vector<uint8_t> payload;
  std::shared_ptr<void> held;
  bool taken = false;
  try {
    taken = job->start.take(&payload, &held);
  } catch (const std::exception& error) {
    Kiv::Log::Printf("vaddaemon> a command host job could not start: %s\n", error.what());
  }
  std::lock_guard<std::mutex> hold(lock_);
  if (taken) {
    job->payload = std::move(payload);
    job->held = std::move(held);
    return true;
  }
  auto& reserved = host->reserved;
  reserved.erase(std::find(reserved.begin(), reserved.end(), job));
  changed_.notify_all();  // the place is free again
  return false;
}

CommandHostBroker::JobResult CommandHostBroker::SendJob(const std::shared_ptr<Host>& host,
                                                        const std::shared_ptr<Job>& job) {
  Ends ends;
  {
    std::lock_guard<std::mutex> sending(host->sendLock);
    if (!SendJobLocked(host, job, &ends)) return JobResult::kHostGone;
  }
  RunEnds(ends);
  return JobResult::kOk;
}

bool CommandHostBroker::SendJobLocked(const std::shared_ptr<Host>& host,
                                      const std::shared_ptr<Job>& job, Ends* ends) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    auto& reserved = host->reserved;
    reserved.erase(std::find(reserved.begin(), reserved.end(), job));
    // The host may have closed since it was chosen, or have ended without
    // its reader having seen it yet: it would never read the job, which
    // then goes to another host instead of failing with this one. The host
    // stays until its reader ends, so that an answer it sent before it
    // ended still reaches its job.
    if (!host->gone && !host->ending && host->connection->PeerClosed()) {
      Kiv::Log::Printf("vaddaemon> command host on connection %llu has ended\n",
                       static_cast<unsigned long long>(host->connection->Number()));
      host->ending = true;
      changed_.notify_all();
    }
    if (host->gone || host->ending) return false;
    job->resend = false;
    job->framesBefore = host->connection->FramesRead();
    host->jobs.push_back(job);
  }
  if (!host->connection->SendNote(VADNotification::kCodeCommandHostJob, job->payload)) {
    std::lock_guard<std::mutex> hold(lock_);
    // The connection failed; a 0x8D read meanwhile has been answered. The
    // other jobs of the host end (the job sent here has its waiter, or is
    // not detached yet).
    if (!host->gone) DropHostLocked(host, ends);
    // The host never had the whole job, so it never started it.
    if (job->failed) {
      job->failed = false;
      job->resend = true;
    }
  }
  return true;
}

std::shared_ptr<CommandHostBroker::Job> CommandHostBroker::MakeJob(
    const std::vector<uint8_t>& payload, JobOptions options) const {
  auto job = std::make_shared<Job>();
  job->key = JobKey(payload);
  job->payload = payload;
  job->onAnswer = std::move(options.onAnswer);
  job->deadline = options.deadline != Clock::time_point()
                      ? options.deadline
                      : Clock::now() + std::chrono::milliseconds(jobTimeoutMs_);
  job->start = std::move(options.start);
  return job;
}

CommandHostBroker::JobResult CommandHostBroker::RunJob(const std::vector<uint8_t>& payload,
                                                       std::vector<uint8_t>* reply,
                                                       std::string* error, AnswerHandler onAnswer) {
  JobOptions options;
  options.onAnswer = std::move(onAnswer);
  return RunJob(payload, reply, error, std::move(options));
}

CommandHostBroker::JobResult CommandHostBroker::RunJob(const std::vector<uint8_t>& payload,
                                                       std::vector<uint8_t>* reply,
                                                       std::string* error, JobOptions options) {
  return Drive(MakeJob(payload, std::move(options)), nullptr, reply, error);
}

std::shared_ptr<CommandHostBroker::SentJob> CommandHostBroker::TrySend(
    const std::vector<uint8_t>& payload, AnswerHandler onAnswer) {
  JobOptions options;
  options.onAnswer = std::move(onAnswer);
  return TrySend(payload, std::move(options));
}

std::shared_ptr<CommandHostBroker::SentJob> CommandHostBroker::TrySend(
    const std::vector<uint8_t>& payload, JobOptions options) {
  auto sent = std::make_shared<SentJob>();
  sent->job = MakeJob(payload, std::move(options));
  // A host found gone as the job leaves is dropped (SendJob): the next one
  // is tried, so the loop ends once the hosts are used up.
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      // Jobs that wait for room go first.
      if (context_.ExitRequested() || waitingForHost_ != 0) return nullptr;
      std::shared_ptr<Host> holder;
      sent->host = HostForLocked(*sent->job, &holder);
      if (!sent->host) return nullptr;
      sent->host->reserved.push_back(sent->job);
    }
    // A job that cannot take its hold now is left to a thread that may wait.
    if (sent->job->Alone() && !TakeStart(sent->job, sent->host)) return nullptr;
    if (SendJob(sent->host, sent->job) == JobResult::kOk) break;
  }
  return sent;
}

CommandHostBroker::JobResult CommandHostBroker::Finish(const std::shared_ptr<SentJob>& sent,
                                                       std::vector<uint8_t>* reply,
                                                       std::string* error) {
  return Drive(sent->job, sent->host, reply, error);
}

bool CommandHostBroker::Detach(const std::shared_ptr<SentJob>& sent, JobEnd end) {
  Ends ends;
  std::unique_lock<std::mutex> hold(lock_);
  if (!StartWatchdogLocked()) return false;
  const auto& job = sent->job;
  // Entries of jobs that ended go as they come first; and, should one job
  // stay out long while many others end behind it, all at once whenever
  // the list has doubled, so it holds about as many entries as jobs are
  // out.
  const auto ended = [](const Deadline& entry) {
    auto out = entry.job.lock();
    return !out || !out->end.ended;
  };
  while (!deadlines_.empty() && ended(deadlines_.front())) deadlines_.pop_front();
  if (deadlines_.size() >= compactAt_) {
    deadlines_.erase(std::remove_if(deadlines_.begin(), deadlines_.end(), ended), deadlines_.end());
    compactAt_ = std::max(kFewestDeadlinesToCompact, 2 * deadlines_.size());
  }
  // In the order of the deadlines; most come last.
  const auto at = std::upper_bound(
      deadlines_.begin(), deadlines_.end(), job->deadline,
      [](Clock::time_point when, const Deadline& entry) { return when < entry.at; });
  const bool wake = at == deadlines_.begin();  // the watchdog waits for a later one, or none
  deadlines_.insert(at, Deadline{job->deadline, job});
  // Taken only once nothing here can fail any more: a Detach that throws
  // leaves the job to a waiter, and it must end once.
  job->end = std::move(end);
  // It may have settled since it was sent.
  SettleLocked(job, &ends);
  hold.unlock();
  if (wake) watchdogWake_.notify_one();
  RunEnds(ends);
  return true;
}

bool CommandHostBroker::StartWatchdogLocked() {
  if (watchdog_.joinable()) return true;
  try {
    watchdog_ = std::thread([this] { Watch(); });
  } catch (const std::system_error&) {
    Kiv::Log::Printf("vaddaemon> no thread to bound command host jobs; they are waited for\n");
    return false;
  }
  return true;
}

void CommandHostBroker::Watch() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!stopping_) {
    if (deadlines_.empty()) {
      watchdogWake_.wait(hold);
      continue;
    }
    const Deadline first = deadlines_.front();
    auto job = first.job.lock();
    if (!job || !job->end.ended) {  // ended already
      deadlines_.pop_front();
      continue;
    }
    if (Clock::now() < first.at) {
      watchdogWake_.wait_until(hold, first.at);
      continue;
    }
    deadlines_.pop_front();
    // A job whose answer is being handled ends with it.
    if (job->answering) continue;
    // Given up: a late answer goes nowhere, and the host's queue keeps its
    // order.
    job->onAnswer = nullptr;
    std::function<void(JobResult)> ended = std::move(job->end.ended);
    job->end = JobEnd();
    hold.unlock();
    ended(JobResult::kTimedOut);
    hold.lock();
  }
}

CommandHostBroker::JobResult CommandHostBroker::Drive(const std::shared_ptr<Job>& job,
                                                      std::shared_ptr<Host> host,
                                                      std::vector<uint8_t>* reply,
                                                      std::string* error) {
  const auto deadline = job->deadline;
  JobResult result = JobResult::kOk;
  for (;;) {
    if (!host) {
      if (Clock::now() >= deadline) {
        result = JobResult::kTimedOut;
        break;
      }
      result = AcquireHost(job, &host);
      if (result != JobResult::kOk) break;
      if (job->Alone() && !TakeStart(job, host)) {  // busy: wait for it, holding nothing
        host = nullptr;
        if (job->start.await) job->start.await(deadline);
        continue;
      }
      if (SendJob(host, job) != JobResult::kOk) {  // closed: another host
        host = nullptr;
        continue;
      }
    }
    std::unique_lock<std::mutex> hold(lock_);
    // A running answer handler is waited for, whatever else happened.
    while (job->answering || (!job->answered && !job->failed && !job->resend &&
                              !context_.WorkAbandoned() && Clock::now() < deadline)) {
      if (host->connection->IsClosed() && !host->gone) {
        Ends ends;
        HostClosedLocked(*host, &ends);
        hold.unlock();
        RunEnds(ends);
        hold.lock();
        continue;
      }
      job->settled.wait_for(hold, std::chrono::milliseconds(200));
    }
    if (job->resend) {  // never started: another host takes it
      host = nullptr;
      continue;
    }
    if (job->answered) {
      if (reply != nullptr) *reply = std::move(job->reply);
    } else if (job->failed) {
      result = JobResult::kHostGone;
    } else {
      // Given up: a late answer goes nowhere, and the host's queue keeps
      // its order.
      job->onAnswer = nullptr;
      result = context_.WorkAbandoned() ? JobResult::kExiting : JobResult::kTimedOut;
    }
    break;
  }
  if (result != JobResult::kOk && error != nullptr) *error = Describe(result);
  return result;
}

std::string CommandHostBroker::Describe(JobResult result) {
  switch (result) {
    case JobResult::kOk:
      return std::string();
    case JobResult::kNoHost:
      return "No command host is available to run the job.";
    case JobResult::kHostGone:
      return "The command host closed its connection before it finished the job.";
    case JobResult::kTimedOut:
      return "The command host did not answer in time.";
    case JobResult::kExiting:
      return "The asset database is shutting down.";
  }
  return std::string();
}
