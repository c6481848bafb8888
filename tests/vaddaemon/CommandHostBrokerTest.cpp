// CommandHostBroker on its own: each host is one end of a socket pair, and
// the test plays the host process on the other end.
#include "vaddaemon/CommandHostBroker.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"

namespace {

constexpr int kWaitMs = 10000;

struct TestHost {
  std::shared_ptr<DaemonConnection> connection;  // the daemon's end
  int process = -1;                              // the host process's end

  ~TestHost() {
    if (process >= 0) ::close(process);
  }
  // The host process ends without a word.
  void End() {
    ::close(process);
    process = -1;
  }
  // The host process stops reading: a job sent to it fails to leave.
  void StopReading() const { ::shutdown(process, SHUT_RD); }
  // Something the daemon sent (a job) waits to be read.
  bool JobArrives() const {
    pollfd fd = {process, POLLIN, 0};
    return ::poll(&fd, 1, kWaitMs) == 1 && (fd.revents & POLLIN) != 0;
  }
  // Something the daemon sent waits to be read now.
  bool HasUnread() const {
    pollfd fd = {process, POLLIN, 0};
    return ::poll(&fd, 1, 0) == 1 && (fd.revents & POLLIN) != 0;
  }
  // Reads all that was sent so far.
  void Drain() const {
    uint8_t bytes[256];
    while (::recv(process, bytes, sizeof(bytes), MSG_DONTWAIT) > 0) {
    }
  }
};

std::unique_ptr<TestHost> MakeHost(uint64_t number) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return nullptr;
  auto host = std::make_unique<TestHost>();
  host->connection = std::make_shared<DaemonConnection>(ends[0], number);
  host->process = ends[1];
  return host;
}

const std::vector<uint8_t> kValidateJob = {0, 0, 0, 0, 'k', 'u', 'i', 'd'};

// A host that cannot have the job, though its connection's reader has not
// yet seen it go (a busy machine), is passed over: the job runs on another
// host and gets that host's answer, and the lost host leaves the list. The
// job is sent by the connection's reader or by the request's worker.
TEST(CommandHostBroker, HostGoneUnseenIsPassedOverAndTheJobRunsElsewhere) {
  for (const bool ends : {true, false}) {
    for (const bool fromReader : {true, false}) {
      SCOPED_TRACE(ends ? "the host ended" : "the host stopped reading");
      SCOPED_TRACE(fromReader ? "sent by the reader" : "sent by the worker");
      DaemonContext context;
      CommandHostBroker broker(context);
      auto ended = MakeHost(1);
      auto serving = MakeHost(2);
      ASSERT_TRUE(ended && serving);
      broker.Register(ended->connection);
      broker.Register(serving->connection);
      if (ends) {
        ended->End();
      } else {
        ended->StopReading();
      }

      std::vector<uint8_t> answered;
      auto onAnswer = [&answered](const std::vector<uint8_t>& reply) { answered = reply; };
      std::shared_ptr<CommandHostBroker::SentJob> sent;
      if (fromReader) {
        sent = broker.TrySend(kValidateJob, onAnswer);
        ASSERT_TRUE(sent);
      }
      std::string error;
      auto result = std::async(std::launch::async, [&] {
        return sent ? broker.Finish(sent, nullptr, &error)
                    : broker.RunJob(kValidateJob, nullptr, &error, onAnswer);
      });
      ASSERT_TRUE(serving->JobArrives());
      std::vector<uint8_t> drain(256);
      ASSERT_GT(::read(serving->process, drain.data(), drain.size()), 0);
      broker.Complete(*serving->connection, {7});
      EXPECT_EQ(result.get(), CommandHostBroker::JobResult::kOk) << error;
      EXPECT_EQ(answered, std::vector<uint8_t>{7});
      // A host that ended is left for its reader, which ends it; one that a
      // job failed to reach is closed at once.
      EXPECT_EQ(ended->connection->IsClosed(), !ends);
      broker.OnClosed(ended->connection);
      EXPECT_EQ(broker.HostCount(), 1u);
    }
  }
}

// A host answers its job and ends before its reader has read the answer;
// a job sent meanwhile passes it over, and the answer still reaches the
// job it answers when the reader reads it.
TEST(CommandHostBroker, AnswerReadAfterTheHostEndedStillReachesItsJob) {
  DaemonContext context;
  CommandHostBroker broker(context);
  auto ending = MakeHost(1);
  auto serving = MakeHost(2);
  ASSERT_TRUE(ending && serving);
  broker.Register(ending->connection);
  std::string firstError;
  std::vector<uint8_t> firstAnswer;
  auto first = std::async(std::launch::async, [&] {
    return broker.RunJob(kValidateJob, nullptr, &firstError,
                         [&](const std::vector<uint8_t>& reply) { firstAnswer = reply; });
  });
  ASSERT_TRUE(ending->JobArrives());
  broker.Register(serving->connection);
  ending->End();

  // The same folder again: it goes to the host that holds the first job,
  // finds it ended and passes it over.
  std::string secondError;
  std::vector<uint8_t> secondAnswer;
  auto sent = broker.TrySend(kValidateJob,
                             [&](const std::vector<uint8_t>& reply) { secondAnswer = reply; });
  ASSERT_TRUE(sent);
  ASSERT_TRUE(serving->JobArrives());
  // The reader reads the ended host's answer, then its end.
  broker.Complete(*ending->connection, {5});
  EXPECT_EQ(first.get(), CommandHostBroker::JobResult::kOk) << firstError;
  EXPECT_EQ(firstAnswer, std::vector<uint8_t>{5});
  broker.OnClosed(ending->connection);
  broker.Complete(*serving->connection, {6});
  EXPECT_EQ(broker.Finish(sent, nullptr, &secondError), CommandHostBroker::JobResult::kOk)
      << secondError;
  EXPECT_EQ(secondAnswer, std::vector<uint8_t>{6});
  EXPECT_EQ(broker.HostCount(), 1u);
}

// Validation and texture jobs on one folder never run on two hosts at once:
// whichever kind comes second goes to the host that holds the first, though
// another host stands idle.
TEST(CommandHostBroker, JobsOnOneFolderFollowItToItsHostWhateverTheirKind) {
  const std::vector<uint8_t> textureJob = {1, 0, 0, 0, 'k', 'u', 'i', 'd'};
  for (const bool validateFirst : {true, false}) {
    SCOPED_TRACE(validateFirst ? "validation first" : "texture conversion first");
    const std::vector<uint8_t>& first = validateFirst ? kValidateJob : textureJob;
    const std::vector<uint8_t>& second = validateFirst ? textureJob : kValidateJob;
    DaemonContext context;
    CommandHostBroker broker(context);
    auto holding = MakeHost(1);
    auto idle = MakeHost(2);
    ASSERT_TRUE(holding && idle);
    broker.Register(holding->connection);
    auto sentFirst = broker.TrySend(first, nullptr);
    ASSERT_TRUE(sentFirst);
    ASSERT_TRUE(holding->JobArrives());
    holding->Drain();
    broker.Register(idle->connection);

    auto sentSecond = broker.TrySend(second, nullptr);
    ASSERT_TRUE(sentSecond);
    const bool followed = holding->HasUnread();
    EXPECT_TRUE(followed);
    EXPECT_FALSE(idle->HasUnread());
    broker.Complete(*holding->connection, {1});
    broker.Complete(followed ? *holding->connection : *idle->connection, {2});
    std::vector<uint8_t> reply;
    std::string error;
    EXPECT_EQ(broker.Finish(sentFirst, &reply, &error), CommandHostBroker::JobResult::kOk) << error;
    EXPECT_EQ(reply, std::vector<uint8_t>{1});
    EXPECT_EQ(broker.Finish(sentSecond, &reply, &error), CommandHostBroker::JobResult::kOk)
        << error;
    EXPECT_EQ(reply, std::vector<uint8_t>{2});
  }
}

// What a job left without a waiter (Detach) saw, in order.
struct DetachedJob {
  std::shared_ptr<CommandHostBroker::SentJob> sent;
  std::vector<std::string> events;
  std::shared_ptr<CommandHostBroker::SentJob> again;
  std::promise<void> ended;

  // Sends kValidateJob at once and leaves it; false when it was not sent.
  bool Start(CommandHostBroker& broker, const std::vector<uint8_t>& payload = kValidateJob,
             std::chrono::steady_clock::time_point deadline = {}) {
    CommandHostBroker::JobOptions options;
    options.onAnswer = [this](const std::vector<uint8_t>& reply) {
      events.push_back("answer " + std::to_string(reply.empty() ? -1 : int(reply[0])));
    };
    options.deadline = deadline;
    sent = broker.TrySend(payload, std::move(options));
    if (!sent) return false;
    CommandHostBroker::JobEnd end;
    end.ended = [this](CommandHostBroker::JobResult result) {
      events.push_back(result == CommandHostBroker::JobResult::kOk         ? "ok"
                       : result == CommandHostBroker::JobResult::kHostGone ? "host gone"
                       : result == CommandHostBroker::JobResult::kTimedOut ? "timed out"
                                                                           : "other");
      ended.set_value();
    };
    end.resend = [this](const std::shared_ptr<CommandHostBroker::SentJob>& job) {
      events.push_back("resend");
      again = job;
      ended.set_value();
    };
    return broker.Detach(sent, std::move(end));
  }
  bool Ended() {
    return ended.get_future().wait_for(std::chrono::milliseconds(kWaitMs)) ==
           std::future_status::ready;
  }
};

// Jobs no thread waits for end where their end is found: an answer after
// the answer handler, the host's close for the job it was running, and the
// job queued behind it, never started, is handed back to be sent anew,
// which Finish does on another host.
TEST(CommandHostBroker, JobsWithoutAWaiterEndWhereTheirEndIsFound) {
  DaemonContext context;
  CommandHostBroker broker(context);
  auto closing = MakeHost(1);
  auto other = MakeHost(2);
  ASSERT_TRUE(closing && other);
  broker.Register(closing->connection);

  DetachedJob answered;
  ASSERT_TRUE(answered.Start(broker));
  ASSERT_TRUE(closing->JobArrives());
  broker.Complete(*closing->connection, {4});
  ASSERT_TRUE(answered.Ended());
  EXPECT_EQ(answered.events, (std::vector<std::string>{"answer 4", "ok"}));

  DetachedJob running;
  DetachedJob queued;
  ASSERT_TRUE(running.Start(broker, {0, 0, 0, 0, 'a'}));
  ASSERT_TRUE(queued.Start(broker, {0, 0, 0, 0, 'b'}));
  broker.OnClosed(closing->connection);
  ASSERT_TRUE(running.Ended());
  ASSERT_TRUE(queued.Ended());
  EXPECT_EQ(running.events, std::vector<std::string>{"host gone"});
  EXPECT_EQ(queued.events, std::vector<std::string>{"resend"});

  broker.Register(other->connection);
  std::string error;
  auto result =
      std::async(std::launch::async, [&] { return broker.Finish(queued.again, nullptr, &error); });
  ASSERT_TRUE(other->JobArrives());
  broker.Complete(*other->connection, {6});
  EXPECT_EQ(result.get(), CommandHostBroker::JobResult::kOk) << error;
  EXPECT_EQ(queued.events, (std::vector<std::string>{"resend", "answer 6"}));
}

// A job without a waiter still has its bound: it ends "timed out" when its
// host does not answer in time; the host's late answer goes nowhere, and
// its next answer reaches the next job.
TEST(CommandHostBroker, AJobWithoutAWaiterEndsAtItsBound) {
  DaemonContext context;
  CommandHostBroker broker(context, 1000);
  auto host = MakeHost(1);
  ASSERT_TRUE(host);
  broker.Register(host->connection);
  DetachedJob late;
  ASSERT_TRUE(late.Start(broker));
  ASSERT_TRUE(late.Ended());
  EXPECT_EQ(late.events, std::vector<std::string>{"timed out"});

  DetachedJob next;
  ASSERT_TRUE(next.Start(broker, {0, 0, 0, 0, 'n'}));
  broker.Complete(*host->connection, {1});
  broker.Complete(*host->connection, {2});
  ASSERT_TRUE(next.Ended());
  EXPECT_EQ(late.events, std::vector<std::string>{"timed out"});
  EXPECT_EQ(next.events, (std::vector<std::string>{"answer 2", "ok"}));
}

// A job's own deadline holds, whatever the deadlines of the jobs left out
// before it.
TEST(CommandHostBroker, AJobWithoutAWaiterEndsAtItsOwnDeadline) {
  DaemonContext context;
  CommandHostBroker broker(context);
  auto first = MakeHost(1);
  auto second = MakeHost(2);
  ASSERT_TRUE(first && second);
  broker.Register(first->connection);
  broker.Register(second->connection);
  DetachedJob later;
  ASSERT_TRUE(later.Start(broker, {0, 0, 0, 0, 'l'}));
  DetachedJob sooner;
  ASSERT_TRUE(sooner.Start(broker, {0, 0, 0, 0, 's'},
                           std::chrono::steady_clock::now() + std::chrono::milliseconds(200)));
  ASSERT_TRUE(sooner.Ended());
  EXPECT_EQ(sooner.events, std::vector<std::string>{"timed out"});
  EXPECT_TRUE(later.events.empty());
}

// A job that starts alone takes what it holds only as it leaves for a host
// without another job, keeps it until its host answers, waits (holding
// nothing) when it cannot take it, and ends at its deadline while it waits
// for a host.
TEST(CommandHostBroker, AJobThatStartsAloneHoldsOnlyWhileItsHostRunsIt) {
  DaemonContext context;
  CommandHostBroker broker(context);
  auto host = MakeHost(1);
  ASSERT_TRUE(host);
  broker.Register(host->connection);
  auto busy = broker.TrySend({0, 0, 0, 0, 'b'}, nullptr);
  ASSERT_TRUE(busy);
  ASSERT_TRUE(host->JobArrives());
  host->Drain();

  std::atomic<int> takes{0};
  std::atomic<int> awaits{0};
  std::weak_ptr<void> taken;
  const auto options = [&](std::chrono::milliseconds bound) {
    CommandHostBroker::JobOptions alone;
    alone.deadline = std::chrono::steady_clock::now() + bound;
    alone.start.take = [&](std::vector<uint8_t>* payload, std::shared_ptr<void>* held) {
      if (takes++ == 0) return false;  // busy the first time
      *payload = {0, 0, 0, 0, 'a'};
      auto hold = std::make_shared<int>(0);
      taken = hold;
      *held = hold;
      return true;
    };
    alone.start.await = [&](std::chrono::steady_clock::time_point) { ++awaits; };
    return alone;
  };
  EXPECT_FALSE(broker.TrySend({0, 0, 0, 0, 'a'}, options(std::chrono::seconds(10))));
  std::string error;
  EXPECT_EQ(
      broker.RunJob({0, 0, 0, 0, 'a'}, nullptr, &error, options(std::chrono::milliseconds(200))),
      CommandHostBroker::JobResult::kTimedOut);
  EXPECT_EQ(takes, 0) << "nothing is taken while the host has another job";

  std::vector<uint8_t> reply;
  std::future<CommandHostBroker::JobResult> run = std::async(std::launch::async, [&] {
    return broker.RunJob({0, 0, 0, 0, 'a'}, &reply, &error, options(std::chrono::seconds(10)));
  });
  broker.Complete(*host->connection, {1});
  ASSERT_TRUE(host->JobArrives());
  EXPECT_EQ(takes, 2);
  EXPECT_EQ(awaits, 1);
  EXPECT_FALSE(taken.expired()) << "held while the host runs it";
  broker.Complete(*host->connection, {2});
  EXPECT_EQ(run.get(), CommandHostBroker::JobResult::kOk) << error;
  EXPECT_EQ(reply, std::vector<uint8_t>{2});
  EXPECT_TRUE(taken.expired());
}

// One job that stays out does not make the watchdog keep every job that
// ended after it: its list stays about as long as the jobs out.
TEST(CommandHostBroker, TheWatchdogForgetsEndedJobsBehindOneThatStaysOut) {
  DaemonContext context;
  CommandHostBroker broker(context);
  auto stuck = MakeHost(1);
  auto serving = MakeHost(2);
  ASSERT_TRUE(stuck && serving);
  broker.Register(stuck->connection);
  DetachedJob staying;
  ASSERT_TRUE(staying.Start(broker, {0, 0, 0, 0, 's'}));
  broker.Register(serving->connection);
  std::vector<uint8_t> drain(4096);
  for (int i = 0; i < 1000; ++i) {
    DetachedJob job;
    const uint8_t folder[] = {uint8_t('a' + i % 26), uint8_t('a' + i / 26 % 26), uint8_t(i / 676)};
    ASSERT_TRUE(job.Start(broker, {0, 0, 0, 0, folder[0], folder[1], folder[2]})) << i;
    ASSERT_TRUE(serving->JobArrives());
    ASSERT_GT(::read(serving->process, drain.data(), drain.size()), 0);
    broker.Complete(*serving->connection, {1});
    ASSERT_TRUE(job.Ended()) << i;
  }
  EXPECT_LE(broker.WatchedJobCount(), 130u);
  EXPECT_TRUE(staying.events.empty());
}

}  // namespace
