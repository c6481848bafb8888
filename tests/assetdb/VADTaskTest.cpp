// The repair worker against the scripted fake daemon: its poll loop ends at
// its bound, and at once when the daemon stops answering. The update-page
// check reports success only for a request that ended with result 0, and
// frees its request however the wait ended.
#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include "assetdb/client/CheckUpdatePage.h"
#include "assetdb/client/VADTask.h"
#include "assetdb/client/WebRequests.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WireBody.h"

namespace {

using Bytes = FakeDaemon::Bytes;

Bytes Progress(bool running, float progress, const char* status) {
  return VUTest::WireBody().Bool(running).F32(progress).Str(status);
}

class CountingTask : public VADTask {
 public:
  void SetProgress(float progress) override {
    ++progressCalls;
    lastProgress = progress;
  }
  int progressCalls = 0;
  float lastProgress = 0.0f;
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

// Web status record: done, a word, the result, a word, path, name.
Bytes WebStatus(bool done, uint32_t result) {
  return VUTest::WireBody().Bool(done).U32(0).U32(result).U32(0).Str("").PStr("");
}

struct UpdatePageCase {
  const char* name;
  bool handed;        // The daemon takes the request (gives a handle).
  bool cancelled;     // The task is cancelled before the check runs.
  uint32_t result;    // The final result the daemon reports.
  int progressCalls;  // SetProgress(1.0) calls expected.
};

class VADTaskUpdatePage : public VADClientTestBase {};

TEST_F(VADTaskUpdatePage, CheckReportsOnlyASuccessfulFetchAndFreesItsRequest) {
  const char* address = "http://127.0.0.1:9/vandru/update.php";
  TBuffer soup;
  BinarySoup::Write(soup, Soup());
  const Bytes startBody =
      VUTest::WireBody()
          .U8(0)
          .PStr(address)
          .U32(DaemonHttpRequest::kModeQuery)
          .U32(0xFFFFFFFFu)
          .Raw(Bytes(soup.GetData()->Data(), soup.GetData()->Data() + soup.GetSize()));
  const Bytes handle = VUTest::WireBody().U64(5);
  const UpdatePageCase cases[] = {
      {"fetched", true, false, 0, 1},
      {"failed", true, false, 7, 0},
      {"refused by the daemon", false, false, 0, 0},
      {"cancelled while waiting", true, true, 0, 0},
  };
  for (const UpdatePageCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDaemon daemon;
    daemon.ExpectHandshake();
    if (!c.handed) {
      daemon.ExpectRequest(0xE6, startBody).Reply({});
    } else {
      daemon.ExpectRequest(0xE6, startBody)
          .Reply(VUTest::WireBody().Raw(handle).Raw(WebStatus(false, 0)));
      daemon.ExpectRequest(0xE8, handle).Reply(WebStatus(false, 0));
      if (!c.cancelled) daemon.ExpectRequest(0xE8, handle).Reply(WebStatus(true, c.result));
      daemon.ExpectRequest(0xE7, handle);
    }
    daemon.ExpectGoodbye();
    daemon.Start();
    ASSERT_TRUE(OpenOn(daemon));

    CountingTask task;
    task.cancel = c.cancelled;
    UrlRecord url;
    ParseUrl(address, url);
    CheckUpdatePage worker(url);
    worker.pollWait = std::chrono::milliseconds(1);
    VADTaskThread::RunInline(worker, &task);
    EXPECT_EQ(task.progressCalls, c.progressCalls);
    if (c.progressCalls > 0) {
      EXPECT_EQ(task.lastProgress, 1.0f);
    }
    EXPECT_EQ(DaemonHttpRequest::RegisteredCount(), 0u);
    VADClient::Close();
    EXPECT_TRUE(daemon.WaitDone(3000));
    for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  }
}

TEST(VADTaskThreadTest, FreeDiskSpaceOfAMissingPathIsNotEnough) {
  VADTaskThread worker;
  EXPECT_FALSE(worker.HasFreeDiskSpace("/no/such/volume/path"));
  EXPECT_FALSE(worker.HasFreeDiskSpace(nullptr));
}

}  // namespace
