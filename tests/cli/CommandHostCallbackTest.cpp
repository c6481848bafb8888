// The command host's job dispatch on payloads it can judge without a daemon.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assetdb/archive/TransferArchive.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/CommandHost.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/KUID.h"
#include "tests/support/TempFolder.h"

namespace {

std::vector<uint8_t> RunJob(TBuffer& payload) {
  TStreamRewind(payload);
  TBuffer reply;
  CommandHostCallback(payload, reply);
  TStreamRewind(reply);
  std::vector<uint8_t> bytes(reply.GetSize());
  if (!bytes.empty()) reply.Read(bytes.data(), uint32_t(bytes.size()));
  return bytes;
}

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[at + size_t(i)];
  return v;
}

// Unknown ids, cut payloads and forged KUID counts are refused before
// anything is read or written.
TEST(CommandHostCallback, UnknownIdCutPayloadsAndForgedCountsWriteNothing) {
  std::vector<TBuffer> payloads(8);
  TStreamWriteU32(payloads[0], 9);
  for (int i = 0; i < 3; ++i) TStreamWriteU8(payloads[1], 0);  // id 0 cut short
  for (uint32_t id : {0u, 1u, 2u, 3u}) {
    TStreamWriteU32(payloads[2 + id], id);
    TStreamWriteU32(payloads[2 + id], 5);  // token, or a string length with no bytes
  }
  for (uint32_t id : {2u, 3u}) {
    TBuffer& forged = payloads[4 + id];
    TStreamWriteU32(forged, id);
    TStreamWriteU32(forged, 1);
    forged.WriteString("/nonexistent/archive.crak");
    TStreamWriteU32(forged, 0xFFFFFFFFu);
    WriteKUID(forged, KUID{1, 2, 0});
  }
  for (size_t i = 0; i < payloads.size(); ++i) EXPECT_TRUE(RunJob(payloads[i]).empty()) << i;
}

// A folder outside the content area is neither validated nor converted:
// each job still answers its messages and a zero result.
TEST(CommandHostCallback, FolderJobsOutsideTheContentAreaAnswerZero) {
  RecordMainThreadId();
  for (uint32_t id : {0u, 1u}) {
    SCOPED_TRACE(id);
    TBuffer payload;
    TStreamWriteU32(payload, id);
    payload.WriteString("local");
    payload.WriteString("/some/folder");
    TStreamRewind(payload);
    TBuffer reply;
    CommandHostCallback(payload, reply);
    TStreamRewind(reply);
    ResultsLog log;
    ASSERT_TRUE(log.ReadMessages(reply));
    const uint32_t resultBytes = id == 0 ? 1 : 4;
    EXPECT_EQ(reply.GetSize() - reply.Tell(), resultBytes);
    uint32_t result = 7;
    if (id == 0) {
      bool flag = true;
      TStreamReadBool(reply, flag, true);
      result = flag;
    } else {
      TStreamReadU32(reply, result, 7);
    }
    EXPECT_EQ(result, 0u);
  }
}

TEST(CommandHostCallback, ArchiveSaveOfNoAssetsWritesHeaderAndClosingKUID) {
  const VUTest::TempFolder temp("cmdhost");
  const std::string path = temp.At("save.crak");
  TBuffer payload;
  TStreamWriteU32(payload, 2);
  TStreamWriteU32(payload, 0xABCD);
  payload.WriteString(path);
  TStreamWriteU32(payload, 0);
  const std::vector<uint8_t> reply = RunJob(payload);
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());

  ASSERT_EQ(file.size(), 28u);  // 20-byte header and the null KUID.
  EXPECT_EQ(U32At(file, 0), kTransferArchiveMagic);
  EXPECT_EQ(U32At(file, 4), 1u);
  EXPECT_EQ(U32At(file, 12), 28u);
  EXPECT_EQ(U32At(file, 16), 0xABCDu);
  // An empty batch (status 0, count 0), then 1: every asset was written.
  ASSERT_EQ(reply.size(), 12u);
  EXPECT_EQ(U32At(reply, 0), 0u);
  EXPECT_EQ(U32At(reply, 4), 0u);
  EXPECT_EQ(U32At(reply, 8), 1u);
}

TEST(CommandHostCallback, ArchiveInstallOfUnreadableFileListsEveryKUIDAsLeft) {
  TBuffer payload;
  TStreamWriteU32(payload, 3);
  TStreamWriteU32(payload, 1);
  payload.WriteString("/nonexistent/archive.crak");
  TStreamWriteU32(payload, 2);
  WriteKUID(payload, KUID{1, 2, 0});
  WriteKUID(payload, KUID{1, 3, 4});
  TStreamRewind(payload);
  TBuffer reply;
  CommandHostCallback(payload, reply);
  TStreamRewind(reply);
  ResultsLog log;
  ASSERT_TRUE(log.ReadMessages(reply));
  EXPECT_EQ(log.GetErrorCount(), 1u);
  uint32_t left = 0;
  TStreamReadU32(reply, left, 0);
  ASSERT_EQ(left, 2u);
  EXPECT_EQ(ReadKUID(reply), (KUID{1, 2, 0}));
  EXPECT_EQ(ReadKUID(reply), (KUID{1, 3, 4}));
}

}  // namespace
