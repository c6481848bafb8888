#include "foundation/soup/PropertyRef.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "foundation/soup/VandruProperty.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/text/KUID.h"

namespace {

const KUID kAsset{123, 456, 0};

// An asset-id property that reports its own deletion.
class WatchedProperty : public VandruPropertyAssetID {
 public:
  WatchedProperty(bool* deleted, const KUID& asset)
      : VandruPropertyAssetID(Kiv::PString("AssetID"), asset), deleted_(deleted) {}
  ~WatchedProperty() override { *deleted_ = true; }

 private:
  bool* deleted_;
};

std::vector<uint8_t> Bytes(TBuffer& b) {
  const Kiv::DynamicBuffer* data = b.GetData();
  return {data->Data(), data->Data() + data->DataLength()};
}

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void AppendPString(std::vector<uint8_t>& out, const std::string& text) {
  AppendU32(out, uint32_t(text.size() + 1));
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

void Load(TBuffer& b, const std::vector<uint8_t>& bytes) {
  TStreamWriteBytes(b, bytes.data(), uint32_t(bytes.size()));
  TStreamRewind(b);
}

TEST(VandruProperty, AssetIDValueTextIsTheKUIDTagText) {
  VandruPropertyAssetID p(Kiv::PString("AssetID"), kAsset);
  Kiv::PString text;
  p.GetValueText(text);
  EXPECT_EQ(text.Str(), "<kuid:123:456>");

  p.SetValueText(Kiv::PString("<kuid2:5:6:7>"));
  EXPECT_EQ(p.GetAsset(), (KUID{5, 6, 7}));
  p.SetValueText(Kiv::PString("not a kuid"));
  EXPECT_TRUE(p.GetAsset().IsNull());
  p.GetValueText(text);
  EXPECT_EQ(text.Str(), "<NULL>");

  PropertyRef().ToPString(text);
  EXPECT_TRUE(text.Empty());
  PropertyRef ref =
      PropertyRef::FromPointer(new VandruPropertyAssetID(Kiv::PString("AssetID"), kAsset));
  ref.ToPString(text);
  EXPECT_EQ(text.Str(), "<kuid:123:456>");
}

TEST(PropertyRef, CountsReferencesAndDeletesAtTheLastRelease) {
  bool deleted = false;
  auto* raw = new WatchedProperty(&deleted, kAsset);
  PropertyRef a = PropertyRef::FromPointer(raw);
  EXPECT_EQ(raw->UseCount(), 1);
  {
    PropertyRef b(a);
    PropertyRef c;
    c = b;
    EXPECT_EQ(raw->UseCount(), 3);
    PropertyRef& same = c;
    c = same;  // self-assignment keeps the property alive
    EXPECT_EQ(raw->UseCount(), 3);
  }
  EXPECT_EQ(raw->UseCount(), 1);
  EXPECT_FALSE(deleted);
  a.Release();
  EXPECT_TRUE(deleted);
  EXPECT_TRUE(a.IsNull());
  a.Release();  // releasing a null reference does nothing
}

TEST(PropertyRefStream, NullIsFourZeroBytesAndReadsBackNull) {
  TBuffer b;
  WritePropertyRef(b, PropertyRef());
  EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{0, 0, 0, 0}));

  // Reading releases what the reference held.
  bool deleted = false;
  PropertyRef ref = PropertyRef::FromPointer(new WatchedProperty(&deleted, kAsset));
  TStreamRewind(b);
  ReadPropertyRef(b, ref);
  EXPECT_TRUE(ref.IsNull());
  EXPECT_TRUE(deleted);
  EXPECT_EQ(b.GetError(), 0u);
}

TEST(PropertyRefStream, AssetIDRoundTripsWithTheExactLayout) {
  TBuffer b;
  PropertyRef out =
      PropertyRef::FromPointer(new VandruPropertyAssetID(Kiv::PString("AssetID"), kAsset));
  WritePropertyRef(b, out);
  std::vector<uint8_t> want;
  AppendU32(want, 8);
  AppendPString(want, "AssetID");
  AppendPString(want, "<kuid:123:456>");
  ASSERT_EQ(Bytes(b), want);

  TStreamRewind(b);
  PropertyRef in;
  ReadPropertyRef(b, in);
  ASSERT_FALSE(in.IsNull());
  auto* asset = dynamic_cast<VandruPropertyAssetID*>(in.Get());
  ASSERT_NE(asset, nullptr);
  EXPECT_EQ(asset->GetName().Str(), "AssetID");
  EXPECT_EQ(asset->GetAsset(), kAsset);
  EXPECT_EQ(asset->UseCount(), 1);
  EXPECT_EQ(b.GetError(), 0u);
}

TEST(PropertyRefStream, UnknownKindIsSkippedSoTheNextFieldReadsRight) {
  std::vector<uint8_t> bytes;
  AppendU32(bytes, 5);
  AppendPString(bytes, "Other");
  AppendPString(bytes, "<kuid:1:2>");
  AppendU32(bytes, 0xA1B2C3D4);
  TBuffer b;
  Load(b, bytes);
  PropertyRef ref;
  ReadPropertyRef(b, ref);
  EXPECT_TRUE(ref.IsNull());
  uint32_t next = 0;
  EXPECT_TRUE(TStreamReadU32(b, next, 0));
  EXPECT_EQ(next, 0xA1B2C3D4u);
  EXPECT_EQ(b.GetError(), 0u);
}

TEST(PropertyRefStream, TruncatedRecordsReadAsNullWithAnError) {
  std::vector<uint8_t> full;
  AppendU32(full, 8);
  AppendPString(full, "AssetID");
  AppendPString(full, "<kuid:123:456>");
  // Cut inside the kind, inside the name, and inside the value.
  for (size_t cut : {size_t(2), size_t(9), full.size() - 3}) {
    SCOPED_TRACE(cut);
    TBuffer b;
    Load(b, std::vector<uint8_t>(full.begin(), full.begin() + long(cut)));
    PropertyRef ref =
        PropertyRef::FromPointer(new VandruPropertyAssetID(Kiv::PString("Old"), kAsset));
    ReadPropertyRef(b, ref);
    EXPECT_TRUE(ref.IsNull());
    EXPECT_EQ(b.GetError(), TStream::kErrorShortRead);
  }
}

}  // namespace
