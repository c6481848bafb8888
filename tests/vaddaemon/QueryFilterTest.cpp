// The search filter's evaluation over a catalog of stored assets, and the
// asset record of request 0x15 read back with the client's own reader.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/VADFilterElementAssetID.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementRange.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "foundation/stream/TBuffer.h"
#include "vaddaemon/AssetCatalog.h"
#include "vaddaemon/AssetFilter.h"
#include "vaddaemon/AssetRecordWriter.h"

namespace {

using Bool = VADFilterElementBool;
using Str = VADFilterElementString;

const KUID kTrack{500, 1, 0};
const KUID kBridge{500, 2, 0};
const KUID kOldLoco{500, 3, 0};
const KUID kNewLoco{500, 3, 2};
const KUID kBuiltIn{-3, 7, 127};
const KUID kAbsent{900, 9, 0};

StoredAsset Asset(const KUID& kuid, const char* name, const char* category, bool installed) {
  StoredAsset asset;
  asset.kuid = kuid;
  asset.name = name;
  asset.category = category;
  if (installed) {
    asset.folder = "f";
    asset.status[kStatusInstalledLocally] = 1;
  }
  return asset;
}

// Stored order: user id, content id, version.
AssetCatalog MakeCatalog() {
  std::vector<StoredAsset> assets;
  StoredAsset builtIn = Asset(kBuiltIn, "Base Rail", "TR", false);
  builtIn.status[kStatusBuiltIn] = 1;
  builtIn.installedAt = 100;
  assets.push_back(builtIn);
  StoredAsset track = Asset(kTrack, "Steel Track", "TR;BR", true);
  track.dependencies = {kBuiltIn};
  track.installedAt = 200;
  track.authorId = 500;
  assets.push_back(track);
  StoredAsset bridge = Asset(kBridge, "Stone Bridge", "BR", true);
  bridge.dependencies = {kAbsent, kOldLoco};
  bridge.installedAt = 300;
  assets.push_back(bridge);
  StoredAsset oldLoco = Asset(kOldLoco, "Loco", "LOCO", true);
  oldLoco.status[kStatusFaulty] = 1;
  assets.push_back(oldLoco);
  StoredAsset newLoco = Asset(kNewLoco, "Loco Mk2", "LOCO", false);
  newLoco.status[kStatusOnDownloadService] = 1;
  assets.push_back(newLoco);
  return AssetCatalog(std::move(assets));
}

std::vector<KUID> Matching(const VADFilterElement* filter) {
  const AssetCatalog catalog = MakeCatalog();
  return AssetFilter::Compile(filter).Evaluate(catalog);
}

std::unique_ptr<VADFilterElement> Text(uint32_t field, const char* value) {
  return std::make_unique<Str>(field, Kiv::PString(value));
}

TEST(AssetFilter, MissingFilterAndEmptyAllGroupMatchEverythingInStoreOrder) {
  const std::vector<KUID> all{kBuiltIn, kTrack, kBridge, kOldLoco, kNewLoco};
  EXPECT_EQ(Matching(nullptr), all);
  VADFilterElementGroup empty;
  EXPECT_EQ(Matching(&empty), all);
}

TEST(AssetFilter, CategoryExpressionCombinesWithFlagsAndNegatedGroups) {
  // "searchbycategory": {strn 1 EXPR, bool 0}.
  VADFilterElementGroup local;
  local.Add(Text(Str::kCategoryList, "TR"));
  local.Add(std::make_unique<Bool>(Bool::kLocal));
  EXPECT_EQ(Matching(&local), (std::vector<KUID>{kTrack}));

  VADFilterElementGroup any;
  any.Add(Text(Str::kCategoryList, "TR"));
  EXPECT_EQ(Matching(&any), (std::vector<KUID>{kBuiltIn, kTrack}));

  VADFilterElementGroup alternatives;
  alternatives.Add(Text(Str::kCategoryList, "BR;-TR|LOCO"));
  EXPECT_EQ(Matching(&alternatives), (std::vector<KUID>{kBridge, kOldLoco, kNewLoco}));

  // Excluding obsolete assets the way "importconsists" does.
  VADFilterElementGroup current;
  current.Add(Text(Str::kCategoryList, "LOCO"));
  MakeFilterGroup(current, std::make_unique<Bool>(Bool::kObsolete));
  EXPECT_EQ(Matching(&current), (std::vector<KUID>{kNewLoco}));
}

// An OR group cannot be built through the builder API, so it is read from
// its wire form: matchAll 0, negate 0, the children.
std::vector<KUID> MatchingEither(std::vector<std::unique_ptr<VADFilterElement>> children) {
  TBuffer body;
  TStreamWriteU32(body, kFilterTypeGroup);
  TStreamWriteU8(body, 0);
  TStreamWriteU8(body, 0);
  TStreamWriteU32(body, uint32_t(children.size()));
  for (const auto& child : children) WriteFilterElement(body, child.get());
  TStreamRewind(body);
  auto either = ReadFilterElement(body);
  EXPECT_NE(either, nullptr);
  return either ? Matching(either.get()) : std::vector<KUID>{kAbsent};
}

TEST(AssetFilter, OrGroupAndEmptyOrGroup) {
  std::vector<std::unique_ptr<VADFilterElement>> children;
  children.push_back(Text(Str::kAssetName, "\"Loco\""));
  children.push_back(std::make_unique<Bool>(Bool::kBuiltin));
  EXPECT_EQ(MatchingEither(std::move(children)), (std::vector<KUID>{kBuiltIn, kOldLoco}));
  EXPECT_TRUE(MatchingEither({}).empty());
}

TEST(AssetFilter, AssetNameExactIsByteEqualAndSubstringIgnoresCase) {
  auto exact = Text(Str::kAssetName, "\"Loco\"");
  EXPECT_EQ(Matching(exact.get()), (std::vector<KUID>{kOldLoco}));
  auto part = Text(Str::kAssetName, "loco");
  EXPECT_EQ(Matching(part.get()), (std::vector<KUID>{kOldLoco, kNewLoco}));
  auto wrongCase = Text(Str::kAssetName, "\"loco\"");
  EXPECT_TRUE(Matching(wrongCase.get()).empty());
}

TEST(AssetFilter, FlagsFollowStatusBytesAndDependencies) {
  auto flag = [](uint32_t id) {
    Bool element(id);
    return Matching(&element);
  };
  EXPECT_EQ(flag(Bool::kLocallyAvailable),
            (std::vector<KUID>{kBuiltIn, kTrack, kBridge, kOldLoco}));
  EXPECT_EQ(flag(Bool::kFetchery), (std::vector<KUID>{kNewLoco}));
  EXPECT_EQ(flag(Bool::kFaulty), (std::vector<KUID>{kOldLoco}));
  EXPECT_EQ(flag(Bool::kHasMissingDependencies), (std::vector<KUID>{kBridge}));
  EXPECT_EQ(flag(Bool::kHasFaultyDependencies), (std::vector<KUID>{kBridge}));
  EXPECT_EQ(flag(Bool::kObsolete), (std::vector<KUID>{kOldLoco}));
  EXPECT_EQ(flag(Bool::kBuiltin), (std::vector<KUID>{kBuiltIn}));
  EXPECT_EQ(flag(Bool::kCommitPrivilege), (std::vector<KUID>{kTrack, kBridge, kOldLoco, kNewLoco}));
  EXPECT_TRUE(flag(Bool::kFromTintgarth).empty());
  EXPECT_TRUE(flag(Bool::kFlagCount + 5).empty());
}

TEST(AssetFilter, RangesAndAssetIdSets) {
  VADFilterElementInt author(VADFilterElementInt::kAuthor, 500, 500, true, true);
  EXPECT_EQ(Matching(&author), (std::vector<KUID>{kTrack}));
  VADFilterElementInt version(VADFilterElementInt::kVersion, 0, 2, false, true);
  EXPECT_EQ(Matching(&version), (std::vector<KUID>{kNewLoco}));
  VADFilterElementTimestamp installed(VADFilterElementTimestamp::kInstallation, 100, 300, false,
                                      false);
  EXPECT_EQ(Matching(&installed), (std::vector<KUID>{kTrack}));

  VADFilterElementAssetID ids(VADFilterElementAssetID::kAssetId);
  ids.Insert(kBridge);
  ids.Insert(kAbsent);
  EXPECT_EQ(Matching(&ids), (std::vector<KUID>{kBridge}));
  VADFilterElementAssetID profiles(VADFilterElementAssetID::kProfileMap);
  profiles.Insert(kBridge);
  EXPECT_TRUE(Matching(&profiles).empty());
}

AssetRecord ReadBack(const StoredAsset* asset, bool missing, uint32_t* length) {
  TBuffer stream;
  WriteAssetRecord(stream, asset, missing);
  *length = stream.GetData()->DataLength();
  TStreamRewind(stream);
  AssetRecord record;
  ReadAssetInfoRecord(stream, record);
  EXPECT_EQ(stream.GetError(), TStream::kErrorNone);
  EXPECT_EQ(stream.Tell(), *length);
  return record;
}

TEST(AssetRecordWriter, KnownAssetRoundTripsThroughTheClientReader) {
  StoredAsset asset = Asset(kTrack, "Steel Track", "TR;BR", true);
  asset.era = "1950s";
  asset.region = "Alps";
  asset.keywords = "steel;track";
  asset.kind = "track";
  asset.authorId = 500;
  asset.build = 3.5f;
  asset.favourite = true;
  asset.installedAt = 1234;
  asset.kuid2 = kBridge;
  asset.status[kStatusLocallyModified] = 7;  // any non-zero byte is sent as 1
  uint32_t length = 0;
  const AssetRecord record = ReadBack(&asset, true, &length);
  EXPECT_EQ(record.kuid, kTrack);
  EXPECT_EQ(record.username, "Steel Track");
  EXPECT_EQ(record.text2, "1950s");
  EXPECT_EQ(record.text3, "steel;track");
  EXPECT_EQ(record.text4, "Alps");
  EXPECT_EQ(record.status,
            0x1u | kAssetLocallyModified | kAssetInstalledLocally | kAssetMissingDependencies);
  EXPECT_EQ(record.name1.Str(), "local");
  EXPECT_EQ(record.name2.Str(), "track");
  EXPECT_EQ(record.category, "TR;BR");
  EXPECT_EQ(record.authorId, 500);
  EXPECT_EQ(record.flags2, 1);
  EXPECT_FLOAT_EQ(record.build, 3.5f);
  EXPECT_EQ(record.value1, 1234u);
  EXPECT_EQ(record.kuid2, kBridge);
  EXPECT_TRUE(record.flagE);
}

TEST(AssetRecordWriter, UnknownAssetIsAWholeRecordWithNullKUIDAndFlagEClear) {
  uint32_t length = 0;
  const AssetRecord record = ReadBack(nullptr, false, &length);
  EXPECT_TRUE(record.kuid.IsNull());
  EXPECT_EQ(record.status, 0x1u);
  EXPECT_EQ(record.authorId, -1);
  EXPECT_TRUE(record.kuid2.IsNull());
  EXPECT_FALSE(record.flagE);
  // KUID 8, three empty strings 12, status 18, number1 4, name1 4, text4 4,
  // author 4, name2 4, category 4, flags2 3, word 4, build 4, values 16,
  // kuid2 8, flagE 1.
  EXPECT_EQ(length, 98u);
}

TEST(AssetRecordWriter, OverlongTextIsCutSoTheRecordStaysReadable) {
  StoredAsset asset = Asset(kTrack, "", "", true);
  asset.name = std::string(70000, 'a');
  asset.name[65534] = '\xC3';  // a two-byte character across the limit
  asset.name[65535] = '\xA9';
  uint32_t length = 0;
  const AssetRecord record = ReadBack(&asset, false, &length);
  EXPECT_EQ(record.username.size(), 65534u);
  EXPECT_TRUE(record.flagE);
}

}  // namespace
