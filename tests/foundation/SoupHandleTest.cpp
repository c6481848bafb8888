#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/soup/Soup.h"
#include "foundation/soup/TDBContainerTag.h"
#include "foundation/soup/TDBDataTag.h"

namespace {

Kiv::PString N(const char* text) {
  return Kiv::PString(text);
}

// Puts a tag of any type and bytes straight into the soup.
void PutRaw(Soup& soup, const char* name, uint32_t type, const void* data, uint32_t size) {
  soup.Create();
  soup.GetChunk()->SetChild(N(name),
                            TDBDataTag::Create(type, ACSRawDataCore::CreateCopy(data, size)));
}

std::vector<std::string> Names(const Soup& soup) {
  std::vector<std::string> names;
  for (uint32_t i = 0; i < soup.CountTags(); ++i) names.push_back(soup.GetIndexedTagName(i).Str());
  return names;
}

}  // namespace

TEST(Soup, EmptyAndNullHandlesGiveDefaultsAndIgnoreEdits) {
  for (const Soup& soup : {Soup(), Soup(NullTag()), Soup(TDBDataTag::Create(0, CoreRef()))}) {
    EXPECT_TRUE(soup.Empty());
    EXPECT_EQ(soup.CountTags(), 0u);
    EXPECT_TRUE(soup.GetIndexedTagName(0).Empty());
    EXPECT_TRUE(soup.GetIndexedSoup(0).Empty());
    EXPECT_FALSE(soup.GetNamedTagRawData(N("a")));
    EXPECT_EQ(soup.GetNamedTagAsKUID(N("a"), KUID{1, 2, 0}), (KUID{1, 2, 0}));
  }
  Soup soup;
  soup.RemoveNamedTag(N("a"));
  soup.RemoveTag(Soup());
  EXPECT_EQ(soup.GetUniqueTagName().Str(), "0");
  EXPECT_TRUE(soup.Empty());
}

TEST(Soup, TypedGettersConvertAndTakeExactlyOneValue) {
  Soup soup;
  soup.SetNamedTag(N("twelve"), "12");
  soup.SetNamedTag(N("letters"), "abc");
  soup.SetNamedInt(N("three"), 3);
  soup.SetNamedFloat(N("twofive"), 2.5f);
  EXPECT_EQ(soup.GetNamedTagAsInt(N("twelve"), -1), 12);
  EXPECT_EQ(soup.GetNamedTagAsInt(N("letters"), -1), -1);
  EXPECT_EQ(soup.GetNamedTagAsInt(N("missing"), -1), -1);
  EXPECT_EQ(soup.GetNamedTagAsInt(N("twofive"), -1), 2);
  // Values of the asked type are read as they are stored, others converted.
  EXPECT_EQ(soup.GetNamedTagAsInt(N("three"), -1), 3);
  EXPECT_EQ(soup.GetNamedTagAsFloat(N("twofive"), -1), 2.5f);
  EXPECT_EQ(soup.GetNamedTagAsFloat(N("three"), -1), 3.0f);
  EXPECT_EQ(soup.GetNamedTagAsFloat(N("twelve"), -1), 12.0f);
  EXPECT_EQ(soup.GetNamedTagAsFloat(N("missing"), -1), -1.0f);
  PutRaw(soup, "noint", SoupType::kInt, nullptr, 0);
  PutRaw(soup, "nofloat", SoupType::kFloat, nullptr, 0);
  EXPECT_EQ(soup.GetNamedTagAsInt(N("noint"), -1), -1);
  EXPECT_EQ(soup.GetNamedTagAsFloat(N("nofloat"), -1), -1.0f);
  // The integer becomes the text "3", which reads as a bare content id.
  EXPECT_EQ(soup.GetNamedTagAsKUID(N("three"), KUID{5, 5, 0}), (KUID{-1, 3, 127}));

  const int32_t pair[2] = {4, 5};
  PutRaw(soup, "pair", SoupType::kInt, pair, sizeof pair);
  EXPECT_EQ(soup.GetNamedTagAsInt(N("pair"), -1), -1);
  EXPECT_EQ(soup.GetNamedTag(N("pair")).Str(), "4,5");

  soup.SetNamedBool(N("yes"), true);
  soup.SetNamedBool(N("no"), false);
  EXPECT_TRUE(soup.GetNamedTagAsBool(N("yes"), false));
  EXPECT_FALSE(soup.GetNamedTagAsBool(N("no"), true));
  EXPECT_TRUE(soup.GetNamedTagAsBool(N("missing"), true));
}

TEST(Soup, FloatArraysCopyEveryFloatOfTheConvertedValue) {
  Soup soup;
  soup.SetNamedInt(N("seven"), 7);
  const int32_t three[3] = {1, 2, 3};
  PutRaw(soup, "ints", SoupType::kInt, three, sizeof three);
  const std::vector<float> floats = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  soup.SetNamedFloatArray(N("floats"), floats);

  std::vector<float> out = {42};
  EXPECT_TRUE(soup.GetNamedTagAsFloatArray(N("seven"), out));
  EXPECT_EQ(out, std::vector<float>{7.0f});
  EXPECT_FALSE(soup.GetNamedTagAsFloatArray(N("ints"), out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(soup.GetNamedTagAsFloatArray(N("floats"), out));
  EXPECT_EQ(out, floats);
  EXPECT_FALSE(soup.GetNamedTagAsFloatArray(N("missing"), out));
  // One float reads as a float; several do not.
  EXPECT_EQ(soup.GetNamedTagAsFloat(N("floats"), -1), -1.0f);
  EXPECT_EQ(soup.GetNamedTag(N("floats")).Str(), "1,2,3,4,5,6,7,8,9");
}

TEST(Soup, KUIDTagsReadAsTagTextAndShortOnesGiveTheDefault) {
  Soup soup;
  soup.SetNamedKUID(N("k"), KUID{-3, 456, 127});
  EXPECT_EQ(soup.GetNamedTagAsKUID(N("k"), KUID{}), (KUID{-3, 456, 127}));
  EXPECT_EQ(soup.GetNamedTag(N("k")).Str(), "<kuid:-3:456>");
  soup.SetNamedTag(N("text"), "<kuid2:1:2:3>");
  EXPECT_EQ(soup.GetNamedTagAsKUID(N("text"), KUID{}), (KUID{1, 2, 3}));
  // A KUID tag of the wrong size gives the default.
  const int32_t word = 1;
  PutRaw(soup, "short", SoupType::kKUID, &word, 4);
  EXPECT_EQ(soup.GetNamedTagAsKUID(N("short"), KUID{9, 9, 0}), (KUID{9, 9, 0}));
  EXPECT_TRUE(soup.GetNamedTag(N("short")).Empty());
}

TEST(Soup, TextValuesAreReadWithinTheirBytes) {
  Soup soup;
  PutRaw(soup, "nonul", SoupType::kString, "abc", 3);  // a string without its NUL
  EXPECT_EQ(soup.GetNamedTag(N("nonul")).Str(), "abc");
  PutRaw(soup, "raw", SoupType::kRaw, "xyz", 3);
  EXPECT_TRUE(soup.GetNamedTag(N("raw")).Empty());
  EXPECT_EQ(soup.GetNamedTagType(N("raw")), SoupType::kRaw);
  Soup sub;
  soup.SetNamedSoup(N("sub"), sub);
  EXPECT_TRUE(soup.GetNamedTag(N("sub")).Empty());
  EXPECT_EQ(soup.GetNamedTagType(N("sub")), SoupType::kContainer);
}

TEST(Soup, EmptyStringAndNullTags) {
  Soup soup;
  soup.SetNamedTag(N("empty"), "");
  EXPECT_TRUE(soup.HasNamedTag(N("empty")));
  EXPECT_EQ(soup.GetNamedTagType(N("empty")), SoupType::kString);
  EXPECT_TRUE(soup.GetNamedTag(N("empty")).Empty());
  EXPECT_FALSE(soup.GetNamedTagRawData(N("empty")));
  soup.SetNamedTag(N("p"), Kiv::PString("text"));
  EXPECT_EQ(soup.GetNamedTag(N("p")).Str(), "text");
  CoreRef raw = soup.GetNamedTagRawData(N("p"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw->Data()), raw->Size()),
            std::string("text\0", 5));

  soup.SetNamedNull(N("null"));
  EXPECT_FALSE(soup.HasNamedTag(N("null")));
  EXPECT_EQ(soup.GetNamedTagType(N("null")), 0u);
  EXPECT_EQ(soup.CountTags(), 3u);
  soup.RemoveNamedTag(N("null"));  // a null child can still be removed
  EXPECT_EQ(soup.CountTags(), 2u);
}

TEST(Soup, SettersMoveTheTagToTheEndAndReplaceOnlyTheFirstOfAName) {
  Soup soup;
  soup.SetNamedInt(N("a"), 1);
  soup.SetNamedInt(N("b"), 2);
  soup.SetNamedInt(N("c"), 3);
  soup.SetNamedInt(N("a"), 4);
  EXPECT_EQ(Names(soup), (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_EQ(soup.GetNamedTagAsInt(N("a"), 0), 4);
  const int32_t second = 9;
  PutRaw(soup, "b", SoupType::kInt, &second, 4);  // a second "b"
  soup.SetNamedInt(N("b"), 7);
  EXPECT_EQ(Names(soup), (std::vector<std::string>{"c", "a", "b", "b"}));
  EXPECT_EQ(soup.GetNamedTagAsInt(N("b"), 0), 9);
  soup.RemoveNamedTag(N("b"));
  EXPECT_EQ(soup.GetNamedTagAsInt(N("b"), 0), 7);
}

TEST(Soup, SubSoupsAreSharedNotCopied) {
  Soup parent;
  Soup sub;
  parent.SetNamedSoup(N("sub"), sub);
  EXPECT_FALSE(sub.Empty());
  sub.SetNamedInt(N("x"), 5);
  EXPECT_EQ(parent.GetNamedSoup(N("sub")).GetNamedTagAsInt(N("x"), 0), 5);
  EXPECT_EQ(parent.GetIndexedSoup(0), sub);
  EXPECT_TRUE(parent.GetNamedSoup(N("missing")).Empty());
  parent.SetNamedInt(N("n"), 1);
  EXPECT_TRUE(parent.GetNamedSoup(N("n")).Empty());
  EXPECT_TRUE(parent.GetIndexedSoup(1).Empty());
  EXPECT_TRUE(parent.GetIndexedSoup(2).Empty());
  EXPECT_TRUE(parent.GetIndexedTagName(2).Empty());
  parent.RemoveTag(sub);
  EXPECT_EQ(Names(parent), std::vector<std::string>{"n"});
  EXPECT_EQ(sub.GetChunk()->RefCount(), 1);
}

TEST(Soup, UniqueTagNameIsTheFirstFreeNumber) {
  Soup soup;
  soup.SetNamedInt(N("0"), 0);
  soup.SetNamedInt(N("1"), 0);
  soup.SetNamedInt(N("3"), 0);
  EXPECT_EQ(soup.GetUniqueTagName().Str(), "2");
  EXPECT_EQ(soup.CountTags(), 3u);
}

TEST(Soup, CopyIsDeepAndIndependent) {
  Soup source;
  source.SetNamedInt(N("a"), 1);
  Soup sub;
  sub.SetNamedTag(N("s"), "x");
  source.SetNamedSoup(N("sub"), sub);
  Soup copy;
  copy.SetNamedInt(N("old"), 1);
  Soup::Copy(copy, source);
  EXPECT_EQ(Names(copy), (std::vector<std::string>{"a", "sub"}));
  copy.GetNamedSoup(N("sub")).SetNamedInt(N("added"), 2);
  copy.SetNamedInt(N("a"), 9);
  EXPECT_FALSE(sub.HasNamedTag(N("added")));
  EXPECT_EQ(source.GetNamedTagAsInt(N("a"), 0), 1);
  Soup fromEmpty;
  Soup::Copy(fromEmpty, Soup());
  EXPECT_FALSE(fromEmpty.IsNull());
  EXPECT_EQ(fromEmpty.CountTags(), 0u);
}
