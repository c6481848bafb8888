#include "assetdb/protocol/VADFilterElement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assetdb/protocol/VADFilterElementAssetID.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementRange.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

std::vector<uint8_t> Bytes(TBuffer& buffer) {
  const uint8_t* data = buffer.GetData()->Data();
  return std::vector<uint8_t>(data, data + buffer.GetSize());
}

std::vector<uint8_t> WireOf(const VADFilterElement* element) {
  TBuffer buffer;
  WriteFilterElement(buffer, element);
  return Bytes(buffer);
}

std::unique_ptr<VADFilterElement> ReadBack(const std::vector<uint8_t>& bytes, TBuffer& buffer) {
  buffer.Write(bytes.data(), uint32_t(bytes.size()));
  TStreamRewind(buffer);
  return ReadFilterElement(buffer);
}

std::unique_ptr<VADFilterElement> Str(uint32_t field, const char* value) {
  return std::make_unique<VADFilterElementString>(field, Kiv::PString(value));
}

std::unique_ptr<VADFilterElement> Flag(uint32_t flag) {
  return std::make_unique<VADFilterElementBool>(flag);
}

TEST(VADFilterElement, EmptyGroupWireBytes) {
  VADFilterElementGroup group;
  EXPECT_EQ(WireOf(&group), (std::vector<uint8_t>{0x70, 0x75, 0x72, 0x67, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(group.GetValueText().Str(), "");
  EXPECT_EQ(WireOf(nullptr), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(VADFilterElement, SearchByCategoryFilterWireBytes) {
  VADFilterElementGroup group;
  group.Add(Str(VADFilterElementString::kCategoryList, "BD"));
  group.Add(Flag(VADFilterElementBool::kLocal));
  const std::vector<uint8_t> expected = {
      0x70, 0x75, 0x72, 0x67, 1, 0, 2, 0, 0, 0,  // grup, matchAll, negate, 2 children
      0x6E, 0x72, 0x74, 0x73, 1, 0, 0, 0, 3, 0, 0, 0, 'B', 'D', 0, 0,  // strn field 1 "BD" exact 0
      0x6C, 0x6F, 0x6F, 0x62, 0, 0, 0, 0};                             // bool flag 0
  EXPECT_EQ(WireOf(&group), expected);
  EXPECT_EQ(group.GetValueText().Str(), "category-list:(BD), local:(true)");
}

TEST(VADFilterElement, RangeAndAssetIdWireBytes) {
  VADFilterElementInt range(VADFilterElementInt::kVersion, -1, 5, true, false);
  EXPECT_EQ(WireOf(&range), (std::vector<uint8_t>{0x65, 0x74, 0x6E, 0x69, 2, 0, 0, 0, 0xFF, 0xFF,
                                                  0xFF, 0xFF, 5, 0, 0, 0, 1, 0}));
  VADFilterElementTimestamp time(1, 1, 0x100000000ll, false, true);
  EXPECT_EQ(WireOf(&time),
            (std::vector<uint8_t>{0x65, 0x6D, 0x69, 0x74, 1, 0, 0, 0, 1, 0, 0, 0, 0,
                                  0,    0,    0,    0,    0, 0, 0, 1, 0, 0, 0, 0, 1}));
  VADFilterElementAssetID ids(VADFilterElementAssetID::kAssetId);
  ids.Insert(KUID{5, 6, 0});
  EXPECT_EQ(WireOf(&ids), (std::vector<uint8_t>{0x74, 0x73, 0x73, 0x61, 0, 0, 0, 0, 1, 0,
                                                0,    0,    6,    0,    0, 0, 5, 0, 0, 0}));
}

TEST(VADFilterElement, AssetNameInQuotesIsExact) {
  VADFilterElementString name(VADFilterElementString::kAssetName, Kiv::PString("\"Red Barn\""));
  EXPECT_TRUE(name.IsExact());
  EXPECT_EQ(name.GetValue().Str(), "Red Barn");
  const std::vector<uint8_t> wire = WireOf(&name);
  EXPECT_EQ(wire.back(), 1);
  VADFilterElementString category(VADFilterElementString::kCategoryList,
                                  Kiv::PString("\"Red Barn\""));
  EXPECT_FALSE(category.IsExact());
  EXPECT_EQ(category.GetValue().Str(), "\"Red Barn\"");
  VADFilterElementString quote(VADFilterElementString::kAssetName, Kiv::PString("\""));
  EXPECT_FALSE(quote.IsExact());
  EXPECT_EQ(quote.GetValue().Str(), "\"");
  VADFilterElementString empty(VADFilterElementString::kAssetName, Kiv::PString("\"\""));
  EXPECT_TRUE(empty.IsExact());
  EXPECT_TRUE(empty.GetValue().Empty());
}

TEST(VADFilterElement, TextForms) {
  EXPECT_EQ(VADFilterElementString(0, Kiv::PString("a(b)\\c")).GetValueText().Str(),
            "a\\(b\\)\\\\c");
  EXPECT_EQ(VADFilterElementString(0, Kiv::PString("x\ny\xC3\xA9")).GetValueText().Str(),
            "x\\Jy\xC3\xA9");
  EXPECT_TRUE(VADFilterElementString(0, Kiv::PString()).GetValueText().Empty());
  EXPECT_EQ(VADFilterElementInt(0, -1, 5, true, true).GetValueText().Str(), "[-1,5]");
  EXPECT_EQ(VADFilterElementInt(0, 3, 7, true, false).GetValueText().Str(), "[3,7)");
  EXPECT_EQ(VADFilterElementTimestamp(0, 0x1FFFFFFFFll, 2, false, false).GetValueText().Str(),
            "(-1,2)");
  VADFilterElementAssetID ids(1);
  ids.Insert(KUID{-3, 4, 127});
  ids.Insert(KUID{7, 8, 2});
  ids.Insert(KUID{7, 8, 2});
  EXPECT_EQ(ids.GetValueText().Str(), "<kuid2:7:8:2>, <kuid:-3:4>");  // unsigned order puts -3 last
  EXPECT_EQ(ids.GetFieldName().Str(), "profile-map");
  EXPECT_EQ(VADFilterElementBool(21).GetFieldName().Str(), "in-base-content-set");
  EXPECT_EQ(VADFilterElementBool(22).GetFieldName().Str(), "unknown");
  EXPECT_EQ(VADFilterElementInt(3, 0, 0, false, false).GetFieldName().Str(), "unknown");
  EXPECT_EQ(VADFilterElementString(5, Kiv::PString()).GetFieldName().Str(), "unknown");
}

TEST(VADFilterElement, Equality) {
  VADFilterElementBool a(5);
  VADFilterElementBool b(5);
  EXPECT_TRUE(FilterElementsEqual(&a, &b));
  EXPECT_FALSE(FilterElementsEqual(&a, nullptr));
  EXPECT_TRUE(FilterElementsEqual(nullptr, nullptr));

  VADFilterElementGroup plain(Flag(5));
  VADFilterElementGroup negated(Flag(5));
  negated.SetNegate(true);
  EXPECT_EQ(plain.GetValueText(), negated.GetValueText());
  EXPECT_FALSE(FilterElementsEqual(&plain, &negated));
  VADFilterElementGroup same(Flag(5));
  EXPECT_TRUE(FilterElementsEqual(&plain, &same));

  // Texts that do not show the whole value do not make elements equal.
  VADFilterElementTimestamp early(0, 1, 2, true, true);
  VADFilterElementTimestamp late(0, 1 + 0x100000000ll, 2, true, true);
  EXPECT_EQ(early.GetValueText(), late.GetValueText());
  EXPECT_FALSE(FilterElementsEqual(&early, &late));
  VADFilterElementString exact(0, Kiv::PString("\"x\""));
  VADFilterElementString loose(0, Kiv::PString("x"));
  EXPECT_FALSE(FilterElementsEqual(&exact, &loose));
}

TEST(VADFilterElement, TreeRoundTrips) {
  VADFilterElementGroup root;
  root.Add(Str(1, "CN"));
  root.Add(Flag(0));
  root.Add(std::make_unique<VADFilterElementInt>(1, 10, 20, true, false));
  root.Add(std::make_unique<VADFilterElementTimestamp>(1, -5, 0x7FFFFFFFFFFll, false, true));
  auto ids = std::make_unique<VADFilterElementAssetID>(0);
  ids->Insert(KUID{1, 2, 3});
  ids->Insert(KUID{-4, 5, 127});
  root.Add(std::move(ids));
  MakeFilterGroup(root, Flag(VADFilterElementBool::kObsolete));
  TBuffer buffer;
  auto back = ReadBack(WireOf(&root), buffer);
  ASSERT_TRUE(back);
  EXPECT_EQ(buffer.GetError(), 0u);
  EXPECT_TRUE(FilterElementsEqual(&root, back.get()));
  EXPECT_EQ(WireOf(back.get()), WireOf(&root));
  const auto* group = dynamic_cast<const VADFilterElementGroup*>(back.get());
  ASSERT_TRUE(group);
  ASSERT_EQ(group->CountChildren(), 6u);
  EXPECT_TRUE(dynamic_cast<const VADFilterElementGroup*>(group->GetChild(5))->GetNegate());
}

TEST(VADFilterElement, DamagedInputIsRefusedOrZeroed) {
  // A child with an unknown type code fails the group.
  TBuffer unknown;
  auto bad = ReadBack({0x70, 0x75, 0x72, 0x67, 1, 0, 1, 0, 0, 0, 1, 2, 3, 4}, unknown);
  EXPECT_FALSE(bad);
  // A group cut before its count reads with no children.
  TBuffer cutCount;
  auto cut = ReadBack({0x70, 0x75, 0x72, 0x67, 1, 0, 1}, cutCount);
  ASSERT_TRUE(cut);
  EXPECT_EQ(dynamic_cast<VADFilterElementGroup*>(cut.get())->CountChildren(), 0u);
  // A huge child count with nothing behind it ends at once.
  TBuffer huge;
  EXPECT_FALSE(ReadBack({0x70, 0x75, 0x72, 0x67, 1, 0, 0xFF, 0xFF, 0, 0}, huge));
  TBuffer tooMany;
  EXPECT_FALSE(ReadBack({0x70, 0x75, 0x72, 0x67, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF}, tooMany));
  // A leaf cut short reads as zeros, answers true and leaves error 4.
  TBuffer leaf;
  auto partial = ReadBack({0x65, 0x74, 0x6E, 0x69, 2, 0}, leaf);
  ASSERT_TRUE(partial);
  EXPECT_EQ(leaf.GetError(), TStream::kErrorShortRead);
  EXPECT_EQ(partial->GetValueText().Str(), "(0,0)");
  // An asset-id count far beyond the bytes stops at the end of the bytes.
  TBuffer ids;
  auto idElement = ReadBack(
      {0x74, 0x73, 0x73, 0x61, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 6, 0, 0, 0, 5, 0, 0, 0, 9}, ids);
  ASSERT_TRUE(idElement);
  EXPECT_EQ(dynamic_cast<VADFilterElementAssetID*>(idElement.get())->GetKUIDs().size(), 1u);
  EXPECT_EQ(ids.GetError(), TStream::kErrorShortRead);
}

TEST(VADFilterElement, NestingDeeperThanTheBoundIsRefused) {
  std::vector<uint8_t> bytes;
  const uint32_t depth = VADFilterElementGroup::kMaxFilterDepth + 1;
  for (uint32_t i = 0; i < depth; ++i) {
    bytes.insert(bytes.end(), {0x70, 0x75, 0x72, 0x67, 1, 0, 1, 0, 0, 0});
  }
  bytes.insert(bytes.end(), {0x6C, 0x6F, 0x6F, 0x62, 0, 0, 0, 0});
  TBuffer deep;
  EXPECT_FALSE(ReadBack(bytes, deep));
  // One level less is accepted.
  bytes.erase(bytes.begin(), bytes.begin() + 10);
  TBuffer fits;
  EXPECT_TRUE(ReadBack(bytes, fits));
}

}  // namespace
