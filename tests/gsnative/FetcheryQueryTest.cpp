// The download-service query's wait ends with the daemon's connection.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/FetcheryQuery.h"
#include "tests/support/VADClientTestBase.h"

namespace {

using Bytes = FakeDaemon::Bytes;

Bytes Build(void (*write)(TStream&)) {
  TBuffer stream;
  write(stream);
  const uint8_t* data = stream.GetData()->Data();
  return Bytes(data, data + stream.GetSize());
}

const KUID kAsset{523, 9100, 0};

using FetcheryQuery = VADClientTestBase;

TEST_F(FetcheryQuery, WaitEndsWhenTheDaemonConnectionIsLost) {
  // A bound far beyond what the test waits: only the lost connection can
  // end the wait in time.
  ::setenv("VANDRUUTIL_FCY_WAIT_MS", "120000", 1);
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  daemon.ExpectRequest(0x1B).Reply(Build([](TStream& s) { WriteKUID(s, kAsset); }));
  daemon.ExpectRequest(0x15).Reply({});  // Not present.
  daemon.ExpectRequest(0xE6).Reply(Build([](TStream& s) {
    TStreamWriteU64(s, 9);
    TStreamWriteU8(s, 0);  // Not done; the status never comes.
    for (int i = 0; i < 3; ++i) TStreamWriteU32(s, 0);
    s.WriteString("");
    s.WritePString(Kiv::PString());
  }));
  daemon.Pause(200).Drop();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  ResultsLog log;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(QueryFetcheryForAsset(kAsset, &log));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  const std::vector<ResultMessage> messages = log.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text.rfind("The connection to the asset-database daemon was lost", 0), 0u)
      << messages[0].text;
  EXPECT_EQ(messages[1].text, "Failed to query FCY for <kuid:523:9100>");
  ::unsetenv("VANDRUUTIL_FCY_WAIT_MS");
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(5000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
}

}  // namespace
