// The command-host lock: a host's shared hold lasts as long as its process,
// and a starting daemon waits for it to go, within its bound. The host is a
// child process that holds the lock until the test lets it end.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "assetdb/protocol/CommandHostLock.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempFolder.h"

namespace {

// A child that takes the host's hold in `folder`, says whether it got it,
// and ends when the test closes `release`.
class HoldingChild {
 public:
  explicit HoldingChild(const std::string& folder) {
    int told[2], release[2];
    if (::pipe(told) != 0 || ::pipe(release) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(told[0]);
      ::close(release[1]);
      const char held = HoldCommandHostLock(folder) ? 1 : 0;
      if (::write(told[1], &held, 1) != 1) ::_exit(1);
      char byte = 0;
      while (::read(release[0], &byte, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(told[1]);
    ::close(release[0]);
    release_ = release[1];
    char held = 0;
    held_ = ::read(told[0], &held, 1) == 1 && held == 1;
    ::close(told[0]);
  }
  ~HoldingChild() { End(); }

  bool Held() const { return held_; }
  void End() {
    if (release_ >= 0) ::close(release_);
    release_ = -1;
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool held_ = false;
};

// WaitUntilNoCommandHost on a thread of its own, which a wait without bound
// cannot keep the test from ending.
std::future<bool> WaitInThread(const std::string& folder, uint32_t waitMs) {
  std::promise<bool> done;
  std::future<bool> result = done.get_future();
  std::thread([folder, waitMs, done = std::move(done)]() mutable {
    done.set_value(WaitUntilNoCommandHost(folder, waitMs));
  }).detach();
  return result;
}

TEST(CommandHostLock, ADaemonWaitsForAHostsHoldAndGoesOnAtItsBound) {
  VUTest::TempFolder folder;
  EXPECT_TRUE(WaitUntilNoCommandHost(folder.Path(), 0));  // no host yet

  HoldingChild host(folder.Path());
  ASSERT_TRUE(host.Held());
  VUTest::LogCapture log;
  std::future<bool> given = WaitInThread(folder.Path(), 0);
  ASSERT_EQ(given.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "no bound";
  EXPECT_FALSE(given.get());
  EXPECT_TRUE(log.Has("command hosts still run"));

  // A wait under way ends once the host has gone.
  log.Clear();
  std::future<bool> waited = WaitInThread(folder.Path(), 60000);
  ASSERT_TRUE(log.Has("waiting for command hosts to end", 10000));
  host.End();
  EXPECT_TRUE(waited.get());
}

}  // namespace
