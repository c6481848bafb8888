// The request functions while the asset-database daemon cannot be reached:
// every one answers its documented failure value at once, and nothing that
// depends on the daemon's answer is remembered or waited for.
#include <gtest/gtest.h>

#include "assetdb/client/AssetInfoQueries.h"
#include "assetdb/client/SettingsRequests.h"
#include "assetdb/client/UserNameCache.h"
#include "assetdb/client/VADAssetHandle.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/WebRequests.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "foundation/soup/Soup.h"

namespace {

const KUID kAsset{100, 200, 0};

TEST(VADRequestsOffline, FailureValuesWithoutADaemon) {
  ASSERT_FALSE(VADClient::IsOpen());
  EXPECT_TRUE(VADClientRequests::IsAssetLocallyModified(kAsset));
  EXPECT_TRUE(VADClientRequests::IsAssetPresent(kAsset));
  EXPECT_TRUE(VADClientRequests::IsAssetFaulty(kAsset));
  EXPECT_TRUE(VADClientRequests::HasMissingDependencies(kAsset, false));
  EXPECT_FALSE(VADClientRequests::IsAssetBuiltIn(kAsset));
  EXPECT_TRUE(VADClientRequests::RequestB5());
  EXPECT_EQ(VADClientRequests::Request1A(kAsset), kAsset);
  EXPECT_EQ(VADClientRequests::Request1B(kAsset), kAsset);
  EXPECT_TRUE(VADClientRequests::GenerateKUID().IsNull());
  EXPECT_TRUE(VADClientRequests::ListBuilds().Empty());
  EXPECT_TRUE(VADClientRequests::Request1C(kAsset).empty());
  EXPECT_TRUE(GetAssetInfoField(kAsset).empty());
  EXPECT_FALSE(VADClientRequests::DeleteAsset(kAsset, true, nullptr));
  EXPECT_FALSE(VADClientRequests::Request32(kAsset, true));
  Soup config;
  EXPECT_FALSE(VADClientRequests::GetAssetConfig(kAsset, config));
  EXPECT_TRUE(config.Empty());

  KUIDList found;
  found.Append(kAsset);
  VADFilterElementGroup filter;
  VADClientRequests::SearchAssets(&filter, found);
  EXPECT_EQ(found.Count(), 1u);

  VADAssetHandleRef ref;
  EXPECT_FALSE(VADClientRequests::Request1E(kAsset, true, ref, nullptr));
  EXPECT_FALSE(ref.Valid());
  EXPECT_EQ(ref.status, 0);
  EXPECT_FALSE(VADClientRequests::RevertAsset(ref, nullptr));
  Kiv::PString name;
  Kiv::File::Path folder;
  EXPECT_FALSE(VADClientRequests::OpenForEdit(nullptr, name, folder));
  EXPECT_TRUE(VADClientRequests::GetOnlineUsername().empty());
  EXPECT_TRUE(VADClientRequests::RequestF2().empty());
}

TEST(VADRequestsOffline, SettingsReportTheFailure) {
  Soup out;
  out.SetNamedInt(Kiv::PString("kept"), 1);
  const Soup before = out;
  EXPECT_FALSE(ReadSettingsGroup(out, Kiv::PString("internet")));
  EXPECT_TRUE(out == before);
  Soup group;
  group.SetNamedTag(Kiv::PString("username"), "anna");
  EXPECT_FALSE(WriteSettingsGroup(Kiv::PString("internet"), group));
  EXPECT_TRUE(group.Empty());  // The holder is taken either way.
  // A value that was not stored is reported, so "setlanguage" cannot claim success.
  EXPECT_FALSE(
      WriteSetting(Kiv::PString("internet"), Kiv::PString("language"), Kiv::PString("en")));
  EXPECT_TRUE(ReadSetting(Kiv::PString("internet"), Kiv::PString("language")).Empty());
}

TEST(VADRequestsOffline, WebRequestWithoutDaemonIsDoneAtOnce) {
  UrlRecord url;
  ParseUrl("http://127.0.0.1:1/query", url);
  DaemonHttpRequest* request = DaemonHttpRequest::Start(url, DaemonHttpRequest::kModeQuery);
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->GetHandle(), DaemonHttpRequest::kNoHandle);
  EXPECT_TRUE(request->IsDone());
  EXPECT_EQ(request->GetResult(), DaemonHttpRequest::kResultNoDaemon);
  Kiv::String path;
  Kiv::PString name;
  EXPECT_FALSE(request->GetResultPath(path, name));
  EXPECT_EQ(DaemonHttpRequest::RegisteredCount(), 0u);
  DaemonHttpRequest::Delete(request);
}

TEST(VADRequestsOffline, UserNamesOfFixedIdsNeedNoDaemon) {
  UserNameCache::Init();
  EXPECT_EQ(GetUserName(0).Str(), "-");
  EXPECT_EQ(GetUserName(-2).Str(), "unknown");
  EXPECT_EQ(GetUserName(-5).Str(), "Orvak");
  EXPECT_EQ(GetUserName(kMakerAccounts[4]).Str(), "Orvak");
  // An id the daemon must name gives the empty name and is not cached.
  EXPECT_TRUE(GetUserName(4242).Empty());
  EXPECT_EQ(UserNameCache::Count(), 0u);
  Kiv::String author;
  EXPECT_FALSE(GetAuthorName(4242, author));
}

TEST(VADRequestsOffline, UserNameCacheReplacesEntriesUnderAnyIndex) {
  UserNameCache::Init();
  UserNameCache::Insert(10, Kiv::PString("Anna"), 1);
  int32_t second = 0;
  Kiv::PString name;
  ASSERT_TRUE(UserNameCache::Find(1, second, name));
  EXPECT_EQ(name.Str(), "anna");
  EXPECT_EQ(second, 10);
  UserNameCache::Insert(-1, Kiv::PString("anna"), 2);  // Same name: the old entry goes.
  EXPECT_FALSE(UserNameCache::Find(1, second, name));
  UserNameCache::Insert(11, Kiv::PString("bert"), 2);  // Same user id: replaced.
  ASSERT_TRUE(UserNameCache::Find(2, second, name));
  EXPECT_EQ(name.Str(), "bert");
  UserNameCache::Insert(-1, Kiv::PString(), 3);  // Nothing to keep.
  EXPECT_EQ(UserNameCache::Count(), 1u);
  UserNameCache::Clear();
}

}  // namespace
