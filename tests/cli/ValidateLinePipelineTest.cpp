// Batch "validate" lines against the scripted fake daemon: several lines in
// flight on the batch runner's own thread, replies taken in whatever order
// they come, each asset's requests in their order, and the output in line
// order.
#include "cli/ValidateLinePipeline.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "assetdb/client/VADClient.h"
#include "assetdb/client/VADClientTransaction.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/text/KUID.h"
#include "tests/support/TempFolder.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WireBody.h"

namespace {

using W = VUTest::WireBody;

constexpr uint32_t kHandle = VADRequestCode::kOpenHandle;
constexpr uint32_t kRecord = VADRequestCode::kGetAssetInfo;
constexpr uint32_t kRelease = VADRequestCode::kReleaseHandle;
constexpr uint32_t kValidate = VADRequestCode::kValidate;

const KUID kFirst = ParseKUID("<kuid:100:1>", false);
const KUID kSecond = ParseKUID("<kuid:100:2>", false);

class ValidateLinePipelineTest : public VADClientTestBase {
 protected:
  // Runs the two lines through a pipeline; its output, and Drain's answer.
  std::string RunBoth(bool* allSucceeded) {
    std::ostringstream out;
    EngineObjects engine;
    ValidateLinePipeline pipeline(engine, "VandruUtil", out);
    pipeline.Submit({"validate", "<kuid:100:1>"});
    pipeline.Submit({"validate", "<kuid:100:2>"});
    *allSucceeded = pipeline.Drain();
    return out.str();
  }
};

// The second line's handle is asked for before the first has its reply;
// the second asset's replies come first and it ends first, yet each asset's
// requests keep their order and the first line prints first. An empty
// record reply reads as an asset of no build: it is reported and not sent
// for validation, and the line succeeds.
TEST_F(ValidateLinePipelineTest, RepliesInAnyOrderKeepEachAssetsRequestsAndTheLineOrder) {
  VADClientTransaction::SetNextIdForTests(700);
  FakeDaemon daemon;
  daemon.ExpectHandshake()
      .ExpectRequest(kHandle, W().K(kFirst).Bool(false))   // 700
      .ExpectRequest(kHandle, W().K(kSecond).Bool(false))  // 701
      .ReplyTo(701, W().U64(21).PStr("set").Str("/content/second"))
      .ExpectRequest(kRecord, W().K(kSecond).U32(0))  // 702
      .ReplyTo(700, W().U64(20).PStr("set").Str("/content/first"))
      .ExpectRequest(kRecord, W().K(kFirst).U32(0))  // 703
      .ReplyTo(702, {})
      .ExpectRequest(kRelease, W().U64(21))  // 704
      .ReplyTo(704, {})
      .ReplyTo(703, {})
      .ExpectRequest(kRelease, W().U64(20))  // 705
      .ReplyTo(705, {})
      .ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  bool allSucceeded = false;
  const std::string out = RunBoth(&allSucceeded);
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(5000));
  EXPECT_TRUE(daemon.Failures().empty()) << daemon.Failures().front();
  EXPECT_TRUE(allSucceeded);
  const size_t first = out.find("<kuid:100:1>");
  const size_t second = out.find("<kuid:100:2>");
  ASSERT_NE(first, std::string::npos) << out;
  ASSERT_NE(second, std::string::npos) << out;
  EXPECT_LT(first, second) << out;
}

// The record of `kuid` as the daemon sends it, of the given build.
FakeDaemon::Bytes RecordOfBuild(const KUID& kuid, float build) {
  W body;
  body.K(kuid).Str("asset").Str("").Str("");
  for (uint32_t bit = 0; bit < kAssetStatusBits; ++bit) body.Bool(false);
  body.U32(0).PStr("").Str("").U32(0).PStr("").Str("");
  for (uint32_t bit = 0; bit < kAssetFlags2Bits; ++bit) body.Bool(false);
  body.U32(0).F32(build).U64(0).U64(0).K(KUID()).Bool(true);
  return body;
}

// Build 2.7 is the oldest that is validated: an asset made for it is sent
// to the daemon, one made for 2.69 is reported obsolete (an error) and is
// not.
TEST_F(ValidateLinePipelineTest, AssetsFromBuild27OnAreValidatedAndOlderOnesReportedObsolete) {
  VUTest::TempFolder root{"ValidateBuild"};
  ASSERT_TRUE(root.Made());
  struct LayoutReset {
    ~LayoutReset() { ResetFolderLayoutForTests(); }
  } reset;
  ASSERT_TRUE(DetermineInstallPath(Kiv::File::Path(root.Path())));
  const std::string folder = root.Path() + "/UserData/local/kuid 100 1";
  for (const float build : {2.7f, 2.69f}) {
    SCOPED_TRACE(build);
    const bool validated = build >= 2.7f;
    VADClientTransaction::SetNextIdForTests(900);
    FakeDaemon daemon;
    daemon.ExpectHandshake()
        .ExpectRequest(kHandle, W().K(kFirst).Bool(false))
        .Reply(W().U64(20).PStr("set").Str(folder))
        .ExpectRequest(kRecord, W().K(kFirst).U32(0))
        .Reply(RecordOfBuild(kFirst, build));
    if (validated)
      daemon.ExpectRequest(kValidate, W().PStr("set").Str(folder)).Reply(W().Bool(true));
    daemon.ExpectRequest(kRelease, W().U64(20)).Reply({}).ExpectGoodbye();
    daemon.Start();
    ASSERT_TRUE(OpenOn(daemon));
    std::ostringstream out;
    {
      EngineObjects engine;
      ValidateLinePipeline pipeline(engine, "VandruUtil", out);
      pipeline.Submit({"validate", "<kuid:100:1>"});
      pipeline.Drain();
    }
    VADClient::Close();
    EXPECT_TRUE(daemon.WaitDone(5000));
    for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
    EXPECT_NE(out.str().find(validated ? "OK (0 Errors" : "OK (1 Errors"), std::string::npos)
        << out.str();
  }
}

// The daemon goes away with both lines in flight: each line reports the
// lost connection, the batch is told that a line failed, and nothing waits
// for a reply that cannot come.
TEST_F(ValidateLinePipelineTest, DaemonLostWithLinesInFlightFailsEachOfThem) {
  VADClientTransaction::SetNextIdForTests(800);
  FakeDaemon daemon;
  daemon.ExpectHandshake()
      .ExpectRequest(kHandle, W().K(kFirst).Bool(false))   // 800
      .ExpectRequest(kHandle, W().K(kSecond).Bool(false))  // 801
      .ReplyTo(801, W().U64(31).PStr("set").Str("/content/second"))
      .ExpectRequest(kRecord, W().K(kSecond).U32(0))
      .Drop();
  daemon.Start();
  // The release that follows finds the daemon gone: it tries one
  // connection, which the silent listener lets wait for its hello.
  VADClientTimings timings = VADClient::GetTimings();
  timings.handshakeTimeoutMs = 200;
  VADClient::SetTimings(timings);
  ASSERT_TRUE(OpenOn(daemon));
  const std::string lost = GetInterfaceText("$vad_connection_lost");
  ASSERT_FALSE(lost.empty());
  bool allSucceeded = true;
  const std::string out = RunBoth(&allSucceeded);
  EXPECT_TRUE(daemon.WaitDone(5000));
  EXPECT_FALSE(allSucceeded);
  size_t reports = 0;
  for (size_t at = out.find(lost); at != std::string::npos; at = out.find(lost, at + 1)) ++reports;
  EXPECT_EQ(reports, 2u) << out;
  EXPECT_NE(out.find("Unable to read the asset's information."), std::string::npos) << out;
}

}  // namespace
