// A validation whose command host is started but never registers: the
// daemon gives up on the host at its registration bound, before the
// validation's own bound, and says that the host did not answer; it does
// not report a validation stopped at its bound, since none ran.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/WaitUntil.h"
#include "tests/vaddaemon/DaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"
#include "vaddaemon/CommandHostBroker.h"

namespace {

using namespace installtest;

class HostNeverRegisters : public DaemonFixture {
 protected:
  // Twice the registration bound: the validation's bound is not what ends it.
  std::vector<std::string> DaemonEnvironment() const override {
    return {"VADCOMMANDHOST_VALIDATION_MS=" +
            std::to_string(2 * CommandHostBroker::kRegistrationTimeoutMs)};
  }

  void SetUp() override {
    // The stand-in for the tool in bin notes its process id and waits
    // without registering, until the test ends it.
    const std::string program = Root() + "/bin/VandruUtil";
    std::ofstream(program) << "#!/bin/sh\necho $$ > '" << PidPath() << ".part'\nmv '" << PidPath()
                           << ".part' '" << PidPath() << "'\nexec sleep 600\n";
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    DaemonFixture::SetUp();
  }

  void TearDown() override {
    if (host_ >= 0) {
      syscall(SYS_pidfd_send_signal, host_, SIGKILL, nullptr, 0u);
      ::close(host_);
    }
  }

  // A pidfd on the started stand-in, kept for TearDown; false when it did
  // not start.
  bool WatchHost() {
    if (!VUTest::WaitUntil([&] { return !ReadPid().empty(); }, 30000)) return false;
    host_ = int(syscall(SYS_pidfd_open, std::stoi(ReadPid()), 0));
    return host_ >= 0;
  }

 private:
  std::string PidPath() const { return Root() + "/host.pid"; }
  std::string ReadPid() const {
    std::string pid;
    std::ifstream(PidPath()) >> pid;
    return pid;
  }

  int host_ = -1;
};

TEST_F(HostNeverRegisters, TheValidationFailsAsTheHostDidNotAnswer) {
  auto tool = Connect();
  ASSERT_TRUE(tool);
  ASSERT_TRUE(tool->SendRequest(kValidate, 1, Body().PStr("local").Str("kuid 1 2")));
  ASSERT_TRUE(WatchHost()) << "no command host was started";
  // Answered at the registration bound, which the client's wait outlasts.
  RawClient::Frame frame;
  std::vector<RawClient::Frame> notes;
  const int waitMs = int(CommandHostBroker::kRegistrationTimeoutMs) + 30000;
  while (tool->ReadFrame(frame, waitMs) && !frame.IsReply()) notes.push_back(frame);
  ASSERT_TRUE(frame.IsReply()) << "no answer";
  EXPECT_EQ(frame.word, 1u);
  EXPECT_EQ(frame.body, Bytes{0});
  const std::vector<ResultMessage> messages = MessagesFor(notes, 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].severity, ResultsLog::kError);
  EXPECT_EQ(messages[0].text, "Validation failed: The command host did not answer in time.");
}

}  // namespace
