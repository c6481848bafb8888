// The repair worker against the scripted fake daemon: its poll loop ends at
// its bound, and at once when the daemon stops answering.
#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include "assetdb/client/VADTask.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WireBody.h"

namespace {

using Bytes = FakeDaemon::Bytes;

Bytes Progress(bool running, float progress, const char* status) {
  return VUTest::WireBody().Bool(running).F32(progress).Str(status);
}

class CountingTask : public VADTask {
 public:
  void SetProgress(float) override { ++progressCalls; }
  int progressCalls = 0;
};

class VADTaskRepair : public VADClientTestBase {
 protected:
  static void FastWaits(VADTaskRepairDatabase& worker) {
    worker.startWait = std::chrono::milliseconds(0);
    worker.pollWait = std::chrono::milliseconds(1);
  }
};

TEST_F(VADTaskRepair, PollingOfARepairThatNeverEndsStopsAtTheBoundWithAnError) {
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.Serve(Progress(true, 0.25f, "Checking"));
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  CountingTask task;
  VADTaskRepairDatabase worker(100, nullptr);
  FastWaits(worker);
  worker.maxProgressPolls = 5;
  VADTaskThread::RunInline(worker, &task);
  EXPECT_EQ(task.progressCalls, 5);
  EXPECT_EQ(task.GetErrorCount(), 1u);

  // The process-wide repair flag was cleared: a second repair runs.
  CountingTask again;
  VADTaskRepairDatabase second(100, nullptr);
  FastWaits(second);
  second.maxProgressPolls = 2;
  VADTaskThread::RunInline(second, &again);
  EXPECT_EQ(again.progressCalls, 2);
  VADClient::Close();
}

TEST_F(VADTaskRepair, PollingEndsAtOnceWhenTheDaemonStopsAnswering) {
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0x03, FakeDaemon::Words({150})).Reply({});
  daemon.ExpectRequest(0x04, {}).Reply(Progress(true, 0.5f, "half"));
  daemon.ExpectRequest(0x04, {}).Drop();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  CountingTask task;
  VADTaskRepairDatabase worker(150, nullptr);
  FastWaits(worker);
  const auto start = std::chrono::steady_clock::now();
  VADTaskThread::RunInline(worker, &task);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(task.progressCalls, 1);
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(3000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
}

TEST(VADTaskThreadTest, FreeDiskSpaceOfAMissingPathIsNotEnough) {
  VADTaskThread worker;
  EXPECT_FALSE(worker.HasFreeDiskSpace("/no/such/volume/path"));
  EXPECT_FALSE(worker.HasFreeDiskSpace(nullptr));
}

}  // namespace
