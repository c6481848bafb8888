// Reading the download service's answer into records: the needed-items
// request byte for byte, and replies that are short, lying or repeating.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/FetcheryQuery.h"
#include "tests/support/VADClientTestBase.h"

namespace {

using Bytes = FakeDaemon::Bytes;

const KUID kAsset{523, 7001, 2};
const KUID kDepA{523, 7002, 0};
const KUID kDepB{88, 15, 4};

Soup Answer(const std::string& text) {
  TBuffer stream;
  stream.Write(text.data(), uint32_t(text.size()));
  stream.Seek(0, SEEK_SET);
  Soup soup;
  TextSoup::Parse(soup, stream, true);
  return soup;
}

std::string Item(int number, const char* required, const char* latest, int size) {
  return std::to_string(number) + " {\n requires " + required + "\n latest-version " + latest +
         "\n latest-version-size " + std::to_string(size) +
         "\n latest-version-path \"https://dl.test/" + std::to_string(number) +
         ".cdp\"\n asset-name \"Item " + std::to_string(number) + "\"\n}\n";
}

// Four offers, the last two of one version.
const std::string kFourItems = Item(0, "<kuid2:523:7001:2>", "<kuid2:523:7001:2>", 100) +
                               Item(1, "<kuid:523:7002>", "<kuid:523:7002>", 200) +
                               Item(2, "<kuid2:88:15:1>", "<kuid2:88:15:4>", 300) +
                               Item(3, "<kuid2:88:15:2>", "<kuid2:88:15:4>", 400);

Bytes NeededItemsBody(std::initializer_list<std::pair<std::pair<KUID, KUID>, uint32_t>> items) {
  TBuffer stream;
  TStreamWriteU32(stream, uint32_t(items.size()));
  for (const auto& item : items) {
    WriteKUID(stream, item.first.first);
    WriteKUID(stream, item.first.second);
    TStreamWriteU32(stream, item.second);
  }
  const uint8_t* data = stream.GetData()->Data();
  return Bytes(data, data + stream.GetSize());
}

struct ReplyCase {
  const char* name;
  std::string answer;
  bool asks;           // Whether request 0x4A goes out.
  Bytes expectedBody;  // Empty: not checked.
  Bytes reply;
  bool drop;                  // The daemon drops the connection instead.
  std::vector<KUID> offered;  // The records' "latest-version", in order.
};

const KUID kDepBAsked{88, 15, 1};

std::vector<ReplyCase> Cases() {
  const KUID k12{1, 2, 0};
  // clang-format off
  return {
      {"NoneAsksNothing", "none 1\n" + kFourItems, false, {}, {}, false, {}},
      {"NoItemsAsksNothing", "0 {\n}\n1 {\n requires <kuid:1:2>\n}\n", false, {}, {}, false, {}},
      {"EveryItemSentAndOneRecordPerVersion", kFourItems, true,
       NeededItemsBody({{{kAsset, kAsset}, 100}, {{kDepA, kDepA}, 200}, {{kDepBAsked, kDepB}, 300},
                        {{KUID{88, 15, 2}, kDepB}, 400}}),
       FakeDaemon::Words({4, 0, 1, 2, 3}), false, {kAsset, kDepA, kDepB}},
      {"WalkStopsAtFirstEmptyItem",
       Item(0, "<kuid:1:2>", "<kuid:1:2>", 5) + "1 {\n}\n" + Item(2, "<kuid:1:3>", "<kuid:1:3>", 5),
       true, NeededItemsBody({{{k12, k12}, 5}}), FakeDaemon::Words({1, 0}), false, {k12}},
      {"CountBeyondTheBytesReadsOnlyWhatIsThere", kFourItems, true, {},
       FakeDaemon::Words({0xFFFFFFFFu, 3, 1}), false, {kDepB, kDepA}},
      {"NumbersNamingNoItemAreIgnored", kFourItems, true, {}, FakeDaemon::Words({3, 9, 0xFFFFFFFFu, 1}), false,
       {kDepA}},
      {"ShortReplyGivesNothing", kFourItems, true, {}, Bytes{7, 0}, false, {}},
      {"FailedRequestGivesNothing", kFourItems, true, {}, {}, true, {}},
  };
  // clang-format on
}

class FetcheryReply : public VADClientTestBase, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(FetcheryReply, RecordsFollowTheNeededItems) {
  const ReplyCase& c = GetParam();
  FakeDaemon daemon;
  daemon.ExpectHandshake();
  if (c.asks && c.expectedBody.empty()) daemon.ExpectRequest(0x4A);
  if (c.asks && !c.expectedBody.empty()) daemon.ExpectRequest(0x4A, c.expectedBody);
  if (c.asks && c.drop) daemon.Drop();
  if (c.asks && !c.drop) daemon.Reply(c.reply);
  if (!c.drop) daemon.ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));

  FetcheryRecordList records;
  ParseFetcheryAssetReply(Answer(c.answer), records);
  std::vector<KUID> offered;
  for (const FetcheryRecord& record : records) offered.push_back(record.latestVersion);
  EXPECT_EQ(offered, c.offered);

  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(5000));
  for (const std::string& failure : daemon.Failures()) ADD_FAILURE() << failure;
}

std::string CaseName(const ::testing::TestParamInfo<ReplyCase>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Replies, FetcheryReply, ::testing::ValuesIn(Cases()), CaseName);

using FetcheryRecords = VADClientTestBase;

TEST_F(FetcheryRecords, RecordCarriesTheItemsTags) {
  FakeDaemon daemon;
  daemon.ExpectHandshake().ExpectRequest(0x4A).Reply(FakeDaemon::Words({1, 2})).ExpectGoodbye();
  daemon.Start();
  ASSERT_TRUE(OpenOn(daemon));
  FetcheryRecordList records;
  ParseFetcheryAssetReply(Answer(kFourItems), records);
  ASSERT_EQ(records.Count(), 1u);
  const FetcheryRecord& record = *records.Begin();
  EXPECT_EQ(record.required, kDepBAsked);
  EXPECT_EQ(record.size, 300u);
  EXPECT_EQ(std::string(record.downloadUrl.host), "dl.test");
  EXPECT_EQ(std::string(record.downloadUrl.path), "/2.cdp");
  EXPECT_EQ(record.assetName.Str(), "Item 2");
  VADClient::Close();
  EXPECT_TRUE(daemon.WaitDone(5000));
}

}  // namespace
