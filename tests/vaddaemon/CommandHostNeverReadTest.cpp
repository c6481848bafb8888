// A command host that closes with its job still unread: the job goes to
// another host only when the host surely never read it (its connection
// ended with a reset, nothing else was out with it and nothing came from it
// after the job was sent); otherwise it may have started, and fails.
#include "vaddaemon/CommandHostBroker.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <memory>
#include <string>
#include <vector>

#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"

namespace {

using Result = CommandHostBroker::JobResult;

// Sends `payload` at once and records how it ends: "resend" or the result.
std::shared_future<std::string> SendAndWatch(CommandHostBroker& broker,
                                             const std::vector<uint8_t>& payload) {
  auto sent = broker.TrySend(payload, nullptr);
  if (!sent) return {};
  auto end = std::make_shared<std::promise<std::string>>();
  std::shared_future<std::string> ended = end->get_future().share();
  CommandHostBroker::JobEnd watch;
  watch.ended = [end](Result result) {
    end->set_value(result == Result::kHostGone ? "host gone" : "other");
  };
  watch.resend = [end](const std::shared_ptr<CommandHostBroker::SentJob>&) {
    end->set_value("resend");
  };
  if (!broker.Detach(sent, std::move(watch))) return {};
  return ended;
}

TEST(CommandHostNeverRead, OnlyAJobTheHostSurelyNeverReadGoesToAnotherHost) {
  struct Case {
    const char* name;
    bool reset;         // the connection ended with a reset
    bool frameAfter;    // a frame came from the host after the job was sent
    bool secondJob;     // another job was out with the host
    const char* first;  // how the first job ends
  };
  const Case cases[] = {
      {"reset, nothing since", true, false, false, "resend"},
      {"orderly end: it may have read and run the job", false, false, false, "host gone"},
      {"a frame came after the job", true, true, false, "host gone"},
      {"another job was out", true, false, true, "host gone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DaemonContext context;
    CommandHostBroker broker(context);
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    auto connection = std::make_shared<DaemonConnection>(ends[0], 1);
    broker.Register(connection);
    const auto first = SendAndWatch(broker, {0, 0, 0, 0, 'a'});
    const auto second = c.secondJob ? SendAndWatch(broker, {0, 0, 0, 0, 'b'}) : first;
    ASSERT_TRUE(first.valid() && second.valid());
    if (c.frameAfter) connection->CountFrameRead();
    if (c.reset) connection->MarkEndedByReset();
    connection->Close();
    broker.OnClosed(connection);
    ::close(ends[1]);
    EXPECT_EQ(first.get(), c.first);
    if (c.secondJob) {
      EXPECT_EQ(second.get(), "resend");
    }
  }
}

}  // namespace
