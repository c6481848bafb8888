#include "assetdb/protocol/AssetRecord.h"

#include <gtest/gtest.h>

#include <cstring>

#include "assetdb/protocol/AssetText.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

const KUID kAsset{123, 456, 2};
const KUID kSecond{7, 8, 0};

// A whole 0x15 reply in the documented layout.
void WriteRecordReply(TStream& s) {
  WriteKUID(s, kAsset);
  s.WriteString("Red Barn");
  s.WriteString("era text");
  s.WriteString("keywords");
  for (int i = 0; i < 18; ++i) TStreamWriteBool(s, i == 3 || i == 11);
  TStreamWriteU32(s, 77);
  s.WritePString(Kiv::PString("name one"));
  s.WriteString("region text");
  TStreamWriteU32(s, 9001);
  s.WritePString(Kiv::PString("name two"));
  s.WriteString("BD;MESH");
  TStreamWriteBool(s, false);
  TStreamWriteBool(s, true);
  TStreamWriteBool(s, true);
  TStreamWriteU32(s, 0x12345680);
  TStreamWriteFloat(s, 3.5f);
  TStreamWriteU64(s, 0x1122334455667788ull);
  TStreamWriteU64(s, 42);
  WriteKUID(s, kSecond);
  TStreamWriteBool(s, true);
}

TEST(AssetRecord, ReadsEveryFieldOfAWholeReply) {
  TBuffer buffer;
  WriteRecordReply(buffer);
  TStreamRewind(buffer);
  AssetRecord record;
  EXPECT_TRUE(ReadAssetInfoRecord(buffer, record));
  EXPECT_EQ(buffer.GetError(), 0u);
  EXPECT_EQ(record.kuid, kAsset);
  EXPECT_EQ(record.username, "Red Barn");
  EXPECT_EQ(record.text2, "era text");
  EXPECT_EQ(record.text3, "keywords");
  EXPECT_EQ(record.status, kAssetInstalledLocally | kAssetMissingDependencies);
  EXPECT_EQ(record.number1, 77u);
  EXPECT_EQ(record.name1, Kiv::PString("name one"));
  EXPECT_EQ(record.text4, "region text");
  EXPECT_EQ(record.authorId, 9001);
  EXPECT_EQ(record.name2, Kiv::PString("name two"));
  EXPECT_EQ(record.category, "BD;MESH");
  EXPECT_EQ(record.flags2, 6u);
  EXPECT_EQ(record.byte1, int8_t(0x80));
  EXPECT_FLOAT_EQ(record.build, 3.5f);
  EXPECT_EQ(record.value1, 0x1122334455667788ull);
  EXPECT_EQ(record.value2, 42u);
  EXPECT_EQ(record.kuid2, kSecond);
  EXPECT_TRUE(record.flagE);
}

TEST(AssetRecord, ShortRepliesGiveZeroesAndErrorFour) {
  TBuffer whole;
  WriteRecordReply(whole);
  const uint32_t size = whole.GetSize();
  const uint8_t* bytes = whole.GetData()->Data();
  // Every cut, including the empty reply, reads without harm.
  for (uint32_t cut = 0; cut < size; ++cut) {
    TBuffer part;
    part.Write(bytes, cut);
    TStreamRewind(part);
    AssetRecord record;
    EXPECT_TRUE(ReadAssetInfoRecord(part, record));
    EXPECT_EQ(part.GetError(), TStream::kErrorShortRead) << cut;
    EXPECT_FALSE(record.flagE) << cut;
  }
  TBuffer empty;
  AssetRecord record;
  ReadAssetInfoRecord(empty, record);
  EXPECT_TRUE(record.kuid.IsNull());
  EXPECT_EQ(record.status, 0u);
  EXPECT_EQ(record.authorId, 0);
  EXPECT_EQ(record.byte1, 0);
  EXPECT_TRUE(record.kuid2.IsNull());
}

TEST(AssetRecord, OverlongStringLengthIsRefusedWithoutAllocating) {
  TBuffer buffer;
  WriteKUID(buffer, kAsset);
  TStreamWriteU32(buffer, 0xFFFFFFF0u);  // username length far beyond the reply
  TStreamRewind(buffer);
  AssetRecord record;
  EXPECT_TRUE(ReadAssetInfoRecord(buffer, record));
  EXPECT_TRUE(record.username.empty());
  EXPECT_NE(buffer.GetError(), 0u);
}

Soup ConfigWith(const char* name, float build) {
  Soup config;
  config.SetNamedTag(Kiv::PString("username"), name);
  config.SetNamedFloat(Kiv::PString("vandru-build"), build);
  return config;
}

TEST(AssetText, DisplayNameUnderscoresFollowTheBuild) {
  EXPECT_EQ(GetAssetDisplayName(ConfigWith(" \"Old_Loco\" ", 2.4f)), "Old Loco");
  EXPECT_EQ(GetAssetDisplayName(ConfigWith(" \"Old_Loco\" ", 3.5f)), "Old_Loco");
  EXPECT_EQ(GetAssetDisplayName(ConfigWith("A_B", 2.9f)), "A_B");
  Soup fallback;
  fallback.SetNamedTag(Kiv::PString("asset-filename"), "file_name");
  fallback.SetNamedFloat(Kiv::PString("vandru-build"), 3.0f);
  EXPECT_EQ(GetAssetDisplayName(fallback), "file_name");
  fallback.SetNamedTag(Kiv::PString("name"), "Plain");
  EXPECT_EQ(GetAssetDisplayName(fallback), "Plain");
  EXPECT_FALSE(GetAssetDisplayName(ConfigWith("  ", 3.5f)).empty());  // the untitled text
}

TEST(AssetText, CleaningRemovesOnePairOfQuotes) {
  EXPECT_EQ(CleanAssetDisplayName("\t 'x' \r\n"), "x");
  EXPECT_EQ(CleanAssetDisplayName("\"\"x\"\""), "\"x\"");
  EXPECT_EQ(CleanAssetDisplayName("\"x"), "x");
  EXPECT_EQ(CleanAssetDisplayName("\""), "");
  EXPECT_EQ(CleanAssetDisplayName("\x93Name\x94"), "Name");
  // A byte 145..148 next to a multi-byte character is part of it.
  EXPECT_EQ(CleanAssetDisplayName("\xE2\x80\x94"), "\xE2\x80\x94");
  EXPECT_EQ(CleanAssetDisplayName("\xE2\x80\x9CName\xE2\x80\x9D"), "Name");
  EXPECT_EQ(CleanAssetDisplayName("\xE2\x80\x98Name\xE2\x80\x99"), "Name");
  EXPECT_EQ(CleanAssetDisplayName("   "), "");
}

TEST(AssetText, BuildVersionOfAConfiguration) {
  Soup withClass;
  withClass.SetNamedFloat(Kiv::PString("vandru-build"), 0.5f);
  withClass.SetNamedTag(Kiv::PString("class"), "X");
  EXPECT_FLOAT_EQ(GetConfigBuildVersion(withClass), 2.0f);
  Soup plain;
  EXPECT_FLOAT_EQ(GetConfigBuildVersion(plain), 1.3f);
  plain.SetNamedFloat(Kiv::PString("vandru-build"), 2.5f);
  EXPECT_FLOAT_EQ(GetConfigBuildVersion(plain), 2.505f);
  plain.SetNamedFloat(Kiv::PString("vandru-build"), 100.0f);
  EXPECT_FLOAT_EQ(GetConfigBuildVersion(plain), 1.3f);
}

}  // namespace
