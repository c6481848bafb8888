// Sending several asset folders in one request (InstallFolders) against the
// scripted fake daemon: the answer read per folder, a daemon that does not
// know the request, and a connection lost in the middle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assetdb/client/AssetInstall.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/stream/TBuffer.h"
#include "tests/support/VADClientTestBase.h"
#include "tests/support/WireBody.h"

namespace {

using Bytes = FakeDaemon::Bytes;
using VUTest::WireBody;

constexpr uint32_t kInstallFolder = 0x27;
constexpr uint32_t kInstallFolders = 0x29;
const KUID kFirst{123, 1, 0};
const KUID kThird{123, 3, 0};

// A message batch as the daemon sends it, made by the log's own writer.
Bytes Batch(const std::string& text) {
  ResultsLog log;
  log.AddResult(ResultsLog::kSuccess, PropertyRef(), Kiv::String(text));
  TBuffer out;
  log.WriteMessages(out, 0);
  const Kiv::DynamicBuffer* data = out.GetData();
  return Bytes(data->Data(), data->Data() + data->DataLength());
}

std::vector<std::string> Texts(ResultsLog& log) {
  std::vector<std::string> texts;
  for (const ResultMessage& message : log.Messages()) texts.push_back(message.text.c_str());
  return texts;
}

class InstallFoldersClient : public VADClientTestBase {
 protected:
  // Closes the client and checks that `daemon` played its whole script.
  static void ExpectScriptPlayed(FakeDaemon& daemon) {
    VADClient::Close();
    EXPECT_TRUE(daemon.WaitDone(10000));
    for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
  }
};

TEST_F(InstallFoldersClient, AnswerGivesEachFoldersKUIDAndTheLastFlag) {
  FakeDaemon daemon;
  daemon.ExpectHandshake()
      .ExpectRequest(kInstallFolders, WireBody().U32(7).U32(3).Str("a").Str("b").Str("c"))
      .NoteForLast(3, Batch("one"))
      .NoteForLast(3, Batch("two"))
      .NoteForLast(3, Batch("three"))
      .Reply(WireBody().U32(3).K(kFirst).U8(1).K(kNullKUID).U8(0).K(kThird).U8(1))
      // An answer for fewer folders than were sent (bytes after it are not
      // read as answers): the others stay null.
      .ExpectRequest(kInstallFolders)
      .Reply(WireBody().U32(1).K(kFirst).U8(1).K(kThird).U8(1))
      .ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  ResultsLog log;
  bool flag = false;
  EXPECT_EQ(InstallFolders({"a", "b", "c"}, &log, 7, &flag),
            (std::vector<KUID>{kFirst, kNullKUID, kThird}));
  EXPECT_TRUE(flag);
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(InstallFolders({"a", "c"}, nullptr, 0, &flag), (std::vector<KUID>{kFirst, kNullKUID}));
  EXPECT_FALSE(flag);
  ExpectScriptPlayed(daemon);
}

// A daemon that answers the request empty without a message does not know
// it: each folder then goes alone.
TEST_F(InstallFoldersClient, DaemonThatDoesNotKnowTheRequestGetsOneRequestPerFolder) {
  FakeDaemon daemon;
  daemon.ExpectHandshake()
      .ExpectRequest(kInstallFolders)
      .Reply({})
      .ExpectRequest(kInstallFolder, WireBody().Str("a").U32(0).U8(0))
      .NoteForLast(3, Batch("one"))
      .Reply(WireBody().K(kFirst).U8(1))
      .ExpectRequest(kInstallFolder, WireBody().Str("b").U32(0).U8(0))
      .NoteForLast(3, Batch("two"))
      .Reply(WireBody().K(kNullKUID).U8(0))
      .ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  ResultsLog log;
  bool flag = true;
  EXPECT_EQ(InstallFolders({"a", "b"}, &log, 0, &flag), (std::vector<KUID>{kFirst, kNullKUID}));
  EXPECT_FALSE(flag);
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"one", "two"}));
  ExpectScriptPlayed(daemon);
}

// The connection drops after the first folder's message: the second folder
// (under way) is given up, as a lone request would be, and the third is
// sent again on a new connection.
TEST_F(InstallFoldersClient, LostConnectionGivesUpTheFolderUnderWayAndSendsTheRest) {
  FakeDaemon daemon;
  daemon.ExpectHandshake()
      .ExpectRequest(kInstallFolders, WireBody().U32(0).U32(3).Str("a").Str("b").Str("c"))
      .NoteForLast(3, Batch("one"))
      .Drop()
      .ExpectHandshake()
      .ExpectRequest(kInstallFolders, WireBody().U32(0).U32(1).Str("c"))
      .NoteForLast(3, Batch("three"))
      .Reply(WireBody().U32(1).K(kThird).U8(1))
      .ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon, true));
  ResultsLog log;
  bool flag = false;
  EXPECT_EQ(InstallFolders({"a", "b", "c"}, &log, 0, &flag),
            (std::vector<KUID>{kNullKUID, kNullKUID, kThird}));
  EXPECT_TRUE(flag);
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"one", "three"}));
  ExpectScriptPlayed(daemon);
}

// The connection drops while the last folder is under way: it is given up
// and nothing more is sent.
TEST_F(InstallFoldersClient, LostLastFolderEndsTheInstall) {
  FakeDaemon daemon;
  daemon.ExpectHandshake()
      .ExpectRequest(kInstallFolders, WireBody().U32(0).U32(2).Str("a").Str("b"))
      .NoteForLast(3, Batch("one"))
      .Drop();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon, true));
  const uint64_t lostBefore = VADClient::LostRequestCount();
  ResultsLog log;
  EXPECT_EQ(InstallFolders({"a", "b"}, &log, 0, nullptr),
            (std::vector<KUID>{kNullKUID, kNullKUID}));
  EXPECT_EQ(VADClient::LostRequestCount(), lostBefore + 1);
  EXPECT_EQ(Texts(log), (std::vector<std::string>{"one"}));
  ExpectScriptPlayed(daemon);
}

}  // namespace
