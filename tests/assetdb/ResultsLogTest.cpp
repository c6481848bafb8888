#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/VandruProperty.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/stream/TBuffer.h"
#include "tests/support/WireBody.h"

namespace {

const KUID kAsset{123, 456, 0};
const KUID kOther{123, 456, 3};

std::vector<uint8_t> Bytes(TBuffer& b) {
  const Kiv::DynamicBuffer* data = b.GetData();
  return {data->Data(), data->Data() + data->DataLength()};
}

// Batches are written with the stream's own writers: status, count, then
// per record severity, text and subject (u32 0: none; 8: an asset id).
using W = VUTest::WireBody;

void Load(TBuffer& b, const std::vector<uint8_t>& bytes) {
  TStreamWriteBytes(b, bytes.data(), uint32_t(bytes.size()));
  TStreamRewind(b);
}

KUID SubjectOf(const ResultMessage& m) {
  auto* p = dynamic_cast<VandruPropertyAssetID*>(m.subject.Get());
  return p != nullptr ? p->GetAsset() : kNullKUID;
}

std::string DamagedText() {
  return GetInterfaceText("$vad_results_batch_damaged");
}

TEST(ResultsLog, CountsWarningsErrorsAndSuccessesOnly) {
  ResultsLog log;
  EXPECT_TRUE(log.IsViewed());
  for (uint32_t severity : {1u, 2u, 2u, 3u, 4u, 9u}) log.AddResult(severity, {}, "m");
  EXPECT_EQ(log.GetWarningCount(), 2u);
  EXPECT_EQ(log.GetErrorCount(), 1u);
  EXPECT_EQ(log.GetSuccessCount(), 1u);
  EXPECT_EQ(log.MessageCount(), 6u);
  EXPECT_FALSE(log.IsViewed());
  EXPECT_EQ(log.Messages()[5].severity, 9u);
}

TEST(ResultsLog, SubjectStackGivesTheDefaultSubject) {
  ResultsLog log;
  log.PopSubject();  // empty: nothing happens
  log.PushSubject(AssetSubject(kAsset));
  log.AddResult(ResultsLog::kError, {}, "from the stack");
  log.AddResult(ResultsLog::kError, AssetSubject(kOther), "explicit wins");
  log.PushSubject(AssetSubject(kOther));
  EXPECT_EQ(log.SubjectDepth(), 2u);
  log.PopSubject();
  log.AddResult(ResultsLog::kError, {}, "back to the first");
  log.PopSubject();
  log.AddResult(ResultsLog::kError, {}, "none");
  const std::vector<ResultMessage> m = log.Messages();
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(SubjectOf(m[0]), kAsset);
  EXPECT_EQ(SubjectOf(m[1]), kOther);
  EXPECT_EQ(SubjectOf(m[2]), kAsset);
  EXPECT_TRUE(m[3].subject.IsNull());
}

TEST(ResultsLog, ParametersAreSubstitutedByUpperCasedName) {
  Soup params;
  params.SetNamedTag(Kiv::PString("file_name"), std::string_view("a.cdp"));
  params.SetNamedTag(Kiv::PString("archive"), std::string_view("$(FILE_NAME)"));
  ResultsLog log;
  log.AddResult(ResultsLog::kError, {}, "Unable to write output file '$(FILE_NAME)'", &params);
  log.AddResult(ResultsLog::kError, {},
                "Unable to rename file '$(file_name)' in subst '$(ARCHIVE)'", &params);
  log.AddResult(ResultsLog::kError, {}, "No parameters: $(FILE_NAME)", nullptr);
  const std::vector<ResultMessage> m = log.Messages();
  EXPECT_EQ(m[0].text, "Unable to write output file 'a.cdp'");
  // "file_name" is applied before "archive", so the archive's value, itself
  // a pattern, is inserted last and stays literal.
  EXPECT_EQ(m[1].text, "Unable to rename file 'a.cdp' in subst '$(FILE_NAME)'");
  EXPECT_EQ(m[2].text, "No parameters: $(FILE_NAME)");
}

TEST(ResultsLogStream, BatchHasTheExactLayoutAndReadsBack) {
  ResultsLog log;
  log.AddResult(ResultsLog::kError, AssetSubject(kAsset), "broken");
  log.AddResult(ResultsLog::kInformation, {}, "");
  TBuffer b;
  log.WriteMessages(b, 0);
  EXPECT_TRUE(log.IsViewed());
  W want;
  want.U32(0).U32(2).U32(3).Str("broken").U32(8).PStr("AssetID").PStr("<kuid:123:456>");
  ASSERT_EQ(Bytes(b), want.U32(1).Str("").U32(0));

  TStreamRewind(b);
  ResultsLog in;
  in.AddResult(ResultsLog::kWarning, {}, "already there");
  in.PushSubject(AssetSubject(kOther));  // not consulted by reading
  EXPECT_TRUE(in.ReadMessages(b));
  EXPECT_EQ(b.GetError(), 0u);
  EXPECT_FALSE(in.IsViewed());
  const std::vector<ResultMessage> m = in.Messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[1].severity, 3u);
  EXPECT_EQ(m[1].text, "broken");
  EXPECT_EQ(SubjectOf(m[1]), kAsset);
  EXPECT_EQ(m[2].severity, 1u);
  EXPECT_TRUE(m[2].subject.IsNull());
  EXPECT_EQ(in.GetErrorCount(), 1u);
  EXPECT_EQ(in.GetWarningCount(), 1u);
}

TEST(ResultsLogStream, FirstIndexCrossesBlocksAndIsClampedAtTheEnd) {
  ResultsLog log;
  for (int i = 1; i <= 14; ++i) log.AddResult(ResultsLog::kWarning, {}, "m" + std::to_string(i));
  TBuffer b;
  log.WriteMessages(b, 13);  // the 14th message is the first of the second block
  EXPECT_EQ(Bytes(b), W().U32(0).U32(1).U32(2).Str("m14").U32(0));

  TBuffer past;
  log.WriteMessages(past, 40);
  EXPECT_EQ(Bytes(past), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ResultsLogStream, OverlongTextIsCutAtACharacterSoTheBatchStaysReadable) {
  // 65534 ASCII bytes then "é" (2 bytes): a cut at 65535 would split it.
  std::string text(65534, 'a');
  text += "\xC3\xA9 tail";
  ResultsLog log;
  log.AddResult(ResultsLog::kError, {}, text);
  log.AddResult(ResultsLog::kWarning, AssetSubject(kAsset), "after");
  EXPECT_EQ(log.Messages()[0].text, text);  // the log keeps the whole text

  TBuffer b;
  log.WriteMessages(b, 0);
  EXPECT_EQ(b.GetError(), 0u);
  TStreamRewind(b);
  ResultsLog in;
  ASSERT_TRUE(in.ReadMessages(b));
  const std::vector<ResultMessage> m = in.Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].text, std::string(65534, 'a'));
  EXPECT_EQ(m[1].text, "after");
  EXPECT_EQ(SubjectOf(m[1]), kAsset);
}

TEST(ResultsLogStream, DamagedRecordsAreRefusedAndEarlierOnesKept) {
  W record;
  record.U32(0).U32(2).U32(2).Str("kept").U32(0).U32(3).Str("cut short");
  const std::vector<uint8_t> whole = record.U32(8).PStr("AssetID").PStr("<kuid:1:2>");

  // Every truncation inside the second record keeps only the first.
  const size_t secondStart = 8 + 4 + 4 + 4 + 4;
  for (size_t size = secondStart; size < whole.size(); ++size) {
    TBuffer b;
    Load(b, std::vector<uint8_t>(whole.begin(), whole.begin() + long(size)));
    ResultsLog log;
    EXPECT_FALSE(log.ReadMessages(b)) << size;
    EXPECT_NE(b.GetError(), 0u) << size;
    const std::vector<ResultMessage> m = log.Messages();
    ASSERT_EQ(m.size(), 2u) << size;
    EXPECT_EQ(m[0].text, "kept");
    EXPECT_EQ(m[1].text, DamagedText());
  }

  // A missing status word, and a text length the stream refuses.
  TBuffer empty;
  ResultsLog log;
  EXPECT_FALSE(log.ReadMessages(empty));
  EXPECT_EQ(empty.GetError(), TStream::kErrorShortRead);
  TBuffer b;
  Load(b, W().U32(0).U32(1).U32(3).U32(0x7FFFFFFF));
  EXPECT_FALSE(log.ReadMessages(b));
  EXPECT_NE(b.GetError(), 0u);
  EXPECT_EQ(log.MessageCount(), 2u);  // the two damage reports only
}

// A non-zero status carries no records but marks the log changed; a
// stream that already failed is refused with one damage report.
TEST(ResultsLogStream, StatusWordAndFailedStreamDecideWhatIsRead) {
  for (const bool failed : {false, true}) {
    TBuffer b;
    Load(b, W().U32(failed ? 0 : 7).U32(1).U32(4).Str("would be fine").U32(0));
    if (failed) b.SetError(TStream::kErrorFile);
    ResultsLog log;
    EXPECT_EQ(log.ReadMessages(b), !failed);
    EXPECT_EQ(b.GetError() != 0, failed);
    EXPECT_FALSE(log.IsViewed());
    EXPECT_EQ(log.GetSuccessCount(), 0u);
    EXPECT_EQ(log.MessageCount(), failed ? 1u : 0u);
  }
}

TEST(ResultsLog, AssignCopiesMessagesAndCountersNotSubjects) {
  ResultsLog source;
  for (int i = 0; i < 20; ++i) source.AddResult(ResultsLog::kError, AssetSubject(kAsset), "e");
  source.AddResult(ResultsLog::kSuccess, {}, "s");
  ResultsLog target;
  target.AddResult(ResultsLog::kWarning, {}, "replaced");
  target.PushSubject(AssetSubject(kOther));
  target.Assign(source);
  target.Assign(target);  // self: nothing
  EXPECT_EQ(target.MessageCount(), 21u);
  EXPECT_EQ(target.GetErrorCount(), 20u);
  EXPECT_EQ(target.GetSuccessCount(), 1u);
  EXPECT_EQ(target.GetWarningCount(), 0u);
  EXPECT_EQ(target.SubjectDepth(), 1u);
  EXPECT_FALSE(target.IsViewed());
  EXPECT_EQ(SubjectOf(target.Messages()[19]), kAsset);
  source.AddResult(ResultsLog::kError, {}, "later");  // the copy is separate
  EXPECT_EQ(target.MessageCount(), 21u);
}

TEST(ResultsLogRequests, MapFollowsRegistrationAndDestruction) {
  ResultsLog first;
  ResultsLog::RegisterRequest(9001, &first);
  EXPECT_EQ(ResultsLog::FindByRequest(9001), &first);
  {
    ResultsLog second;
    ResultsLog::RegisterRequest(9001, &second);  // replaces
    ResultsLog::RegisterRequest(9002, &second);
    EXPECT_EQ(ResultsLog::FindByRequest(9001), &second);
  }
  // Destroying a log registered under two ids removes both entries.
  EXPECT_EQ(ResultsLog::FindByRequest(9001), nullptr);
  EXPECT_EQ(ResultsLog::FindByRequest(9002), nullptr);

  ResultsLog::RegisterRequest(9003, &first);
  ResultsLog::UnregisterRequest(9003);
  EXPECT_EQ(ResultsLog::FindByRequest(9003), nullptr);
  TBuffer b;
  EXPECT_EQ(ResultsLog::ReadMessagesForRequest(9003, b), 0);
  EXPECT_EQ(b.GetError(), 0u);  // nothing was read
}

// A writer thread delivers batches while the owner's thread reads the log;
// every message arrives once and in order.
TEST(ResultsLogThreads, DeliveryWhileTheOwnerReads) {
  constexpr int kBatches = 300;
  ResultsLog log;
  ResultsLog::RegisterRequest(9100, &log);
  std::thread writer([] {
    for (int i = 0; i < kBatches; ++i) {
      ResultsLog source;
      source.AddResult(ResultsLog::kWarning, {}, std::to_string(2 * i));
      source.AddResult(ResultsLog::kError, AssetSubject(kAsset), std::to_string(2 * i + 1));
      TBuffer b;
      source.WriteMessages(b, 0);
      TStreamRewind(b);
      ASSERT_EQ(ResultsLog::ReadMessagesForRequest(9100, b), 1);
    }
  });
  size_t seen = 0;
  while (log.GetWarningCount() < kBatches || log.GetErrorCount() < kBatches) {
    const std::vector<ResultMessage> m = log.Messages();
    ASSERT_GE(m.size(), seen);
    seen = m.size();
    log.AddResult(ResultsLog::kInformation, {}, "owner");  // the owner writes too
    std::this_thread::yield();
  }
  writer.join();
  ResultsLog::UnregisterLog(&log);
  int next = 0;
  for (const ResultMessage& m : log.Messages()) {
    if (m.severity == ResultsLog::kInformation) continue;
    EXPECT_EQ(m.text, std::to_string(next));
    ++next;
  }
  EXPECT_EQ(next, 2 * kBatches);
}

// A log destroyed while another thread keeps delivering to its id: the
// destructor waits for a delivery under way, and later ones find no log.
TEST(ResultsLogThreads, DestroyWhileDeliveringIsSafe) {
  ResultsLog source;
  source.AddResult(ResultsLog::kError, AssetSubject(kAsset), "x");
  TBuffer batch;
  source.WriteMessages(batch, 0);
  const std::vector<uint8_t> bytes = Bytes(batch);

  std::atomic<bool> stop{false};
  std::atomic<int> delivered{0};
  std::thread writer([&] {
    while (!stop.load()) {
      TBuffer b;
      Load(b, bytes);
      if (ResultsLog::ReadMessagesForRequest(9200, b) == 1) ++delivered;
    }
  });
  for (int round = 0; round < 50; ++round) {
    auto* log = new ResultsLog;
    ResultsLog::RegisterRequest(9200, log);
    while (log->MessageCount() == 0) std::this_thread::yield();
    delete log;
  }
  stop = true;
  writer.join();
  EXPECT_GE(delivered.load(), 50);
  EXPECT_EQ(ResultsLog::FindByRequest(9200), nullptr);
}

// Records which announcements arrive.
class Listener : public NuMessageRecipient {
 public:
  uint32_t Receive(const NuMessageData& data) override {
    names.push_back(data.name.Str());
    values.push_back(data.value);
    return 1;
  }
  std::vector<std::string> names;
  std::vector<uintptr_t> values;
};

TEST(ResultsLogAnnouncements, ListenersHearUpdatesDestructionAndDetach) {
  Listener listener;
  Listener holder;
  uintptr_t address = 0;
  {
    ResultsLog log;
    address = reinterpret_cast<uintptr_t>(&log);
    log.AddLink(&listener, &holder);
    log.AddResult(ResultsLog::kError, {}, "e");
    TBuffer b;
    Load(b, W().U32(5));
    log.ReadMessages(b);
    EXPECT_EQ(log.LinkCount(), 1u);
  }
  EXPECT_EQ(listener.names,
            (std::vector<std::string>{"list-updated", "list-updated", "list-destroyed"}));
  EXPECT_EQ(listener.values, (std::vector<uintptr_t>{address, address, address}));
  ASSERT_EQ(holder.names, (std::vector<std::string>{"pipe-closed"}));
  EXPECT_EQ(holder.values[0], reinterpret_cast<uintptr_t>(&listener));
}

}  // namespace
