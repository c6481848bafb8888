// Script references, strings and arrays: counting, the context rule for
// stores, and the clamping and growth of slices and splices.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gsruntime/GSArray.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSString.h"

namespace {

using namespace GSRuntime;

struct StringCase {
  const char* what;
  std::string text;
  int32_t start, end;
  const char* insert;  // Splice only; null for none
  bool ok;
  std::string result;
};

TEST(GSStringTest, SubstringAndSpliceClampTheirBounds) {
  const StringCase substrings[] = {
      {"whole text from far outside", "hello", -5, 1000, nullptr, true, "hello"},
      {"negative end means the length", "hello", 1, -1, nullptr, true, "ello"},
      {"end before start", "hello", 3, 2, nullptr, false, "unchanged"},
      {"start past the end", "hello", 9, 20, nullptr, false, "unchanged"},
      {"empty source", "", 0, 0, nullptr, true, ""},
  };
  for (const StringCase& c : substrings) {
    SCOPED_TRACE(c.what);
    GSString* source = GSString::Create(c.text, nullptr);
    GSString* target = GSString::Create("unchanged", nullptr);
    EXPECT_EQ(GSString::Substring(*source, c.start, c.end, *target), c.ok);
    EXPECT_EQ(target->text, c.result);
    GSObjectReference::Release(source->GetScriptInstance());
    GSObjectReference::Release(target->GetScriptInstance());
  }
  const StringCase splices[] = {
      {"replace the middle", "abcdef", 2, 4, "XY", true, "abXYef"},
      {"insert at the start", "abc", -3, 0, ">", true, ">abc"},
      {"null insert removes", "abcdef", 1, 5, nullptr, true, "af"},
      {"append past the end", "abc", 3, 99, "!", true, "abc!"},
      {"end before start", "abc", 2, 1, "?", false, "abc"},
      {"empty target", "", 0, 0, "new", true, "new"},
  };
  for (const StringCase& c : splices) {
    SCOPED_TRACE(c.what);
    GSString* target = GSString::Create(c.text, nullptr);
    GSString* insert = c.insert ? GSString::Create(c.insert, nullptr) : nullptr;
    EXPECT_EQ(GSString::Splice(*target, c.start, c.end, insert), c.ok);
    EXPECT_EQ(target->text, c.result);
    GSObjectReference::Release(target->GetScriptInstance());
    if (insert) GSObjectReference::Release(insert->GetScriptInstance());
  }
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
}

TEST(GSStringTest, SpliceIntoItselfUsesTheOldText) {
  GSString* s = GSString::Create("ab", nullptr);
  EXPECT_TRUE(GSString::Splice(*s, 1, 1, s));
  EXPECT_EQ(s->text, "aabb");
  GSObjectReference::Release(s->GetScriptInstance());
}

// Plain arrays hold their element values; the helpers read them back.
GSArray* Plain(std::vector<int32_t> values) {
  GSArray* a = GSArray::Create(nullptr, false);
  a->SetSize(static_cast<int32_t>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) a->Data()[i] = GSFromInt(values[i]);
  return a;
}

std::vector<int32_t> Values(const GSArray& a) {
  std::vector<int32_t> out;
  for (int32_t i = 0; i < a.Size(); ++i) out.push_back(GSInt(a.Data()[i]));
  return out;
}

struct ArrayCase {
  const char* what;
  std::vector<int32_t> target;
  int32_t start, end;
  bool withSource;
  std::vector<int32_t> source;
  bool ok;
  std::vector<int32_t> result;
};

TEST(GSArrayTest, SpliceAndAssignRangeFollowTheirBounds) {
  const ArrayCase splices[] = {
      {"start past the end pads with zeros", {1, 2}, 5, 5, true, {9}, true, {1, 2, 0, 0, 0, 9}},
      {"replace a range", {1, 2, 3, 4}, 1, 3, true, {7, 8, 9}, true, {1, 7, 8, 9, 4}},
      {"null source removes", {1, 2, 3, 4}, 0, 2, false, {}, true, {3, 4}},
      {"negative end means the size", {1, 2, 3}, 1, -1, true, {5}, true, {1, 5}},
      {"end before start", {1, 2, 3}, 2, 1, true, {5}, false, {1, 2, 3}},
  };
  for (const ArrayCase& c : splices) {
    SCOPED_TRACE(c.what);
    GSArray* target = Plain(c.target);
    GSArray* source = c.withSource ? Plain(c.source) : nullptr;
    EXPECT_EQ(GSArray::Splice(*target, c.start, c.end, source), c.ok);
    EXPECT_EQ(Values(*target), c.result);
    GSObjectReference::Release(target->GetScriptInstance());
    if (source) GSObjectReference::Release(source->GetScriptInstance());
  }
  const ArrayCase ranges[] = {
      {"whole array from far outside", {0}, -5, -1, true, {1, 2, 3}, true, {1, 2, 3}},
      {"middle part", {0}, 1, 2, true, {1, 2, 3}, true, {2}},
      {"end before start", {4}, 2, 1, true, {1, 2, 3}, false, {4}},
  };
  for (const ArrayCase& c : ranges) {
    SCOPED_TRACE(c.what);
    GSArray* target = Plain(c.target);
    GSArray* source = Plain(c.source);
    EXPECT_EQ(GSArray::AssignRange(*target, *source, c.start, c.end), c.ok);
    EXPECT_EQ(Values(*target), c.result);
    GSObjectReference::Release(target->GetScriptInstance());
    GSObjectReference::Release(source->GetScriptInstance());
  }
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
}

TEST(GSArrayTest, ElementKindsMustAgree) {
  GSArray* refs = GSArray::Create(nullptr, true);
  GSArray* ints = Plain({1});
  EXPECT_FALSE(GSArray::AssignRange(*refs, *ints, 0, -1));
  EXPECT_FALSE(GSArray::Splice(*refs, 0, 0, ints));
  GSObjectReference::Release(refs->GetScriptInstance());
  GSObjectReference::Release(ints->GetScriptInstance());
}

// Array instructions reach their array through FromRef; a reference to
// anything else (a damaged library may hand them a string) must not pass.
TEST(GSArrayTest, FromRefFindsOnlyArrays) {
  GSArray* array = GSArray::Create(nullptr, false);
  GSString* text = GSString::Create("not an array", nullptr);
  ASSERT_NE(array, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(GSArray::FromRef(array->GetScriptInstance()), array);
  EXPECT_EQ(GSArray::FromRef(text->GetScriptInstance()), nullptr);
  EXPECT_EQ(GSArray::FromRef(0), nullptr);
  GSObjectReference::Release(array->GetScriptInstance());
  GSObjectReference::Release(text->GetScriptInstance());
}

TEST(GSArrayTest, SetSizeGrowsOnlyAndGeometrically) {
  GSArray* a = Plain({1, 2, 3, 4});
  EXPECT_TRUE(a->SetSize(1));
  EXPECT_EQ(a->Size(), 4);
  uint32_t reallocations = 0, capacity = a->Capacity();
  for (int32_t n = 5; n <= 100000; ++n) {
    ASSERT_TRUE(a->SetSize(n));
    a->Data()[n - 1] = GSFromInt(n);
    if (a->Capacity() != capacity) ++reallocations, capacity = a->Capacity();
  }
  EXPECT_EQ(a->Size(), 100000);
  EXPECT_EQ(GSInt(a->Data()[99999]), 100000);
  EXPECT_EQ(GSInt(a->Data()[4]), 5);
  EXPECT_LT(reallocations, 20u);
  EXPECT_FALSE(a->SetSize(GSArray::kMaxElements + 1));
  EXPECT_EQ(a->Size(), 100000);
  EXPECT_TRUE(a->SetSize(0));
  EXPECT_EQ(a->Size(), 0);
  GSObjectReference::Release(a->GetScriptInstance());
}

TEST(GSArrayTest, ReferenceElementsAreCounted) {
  GSString* s = GSString::Create("x", nullptr);
  const GSValue ref = s->GetScriptInstance();
  GSArray* a = GSArray::Create(nullptr, true);
  a->SetSize(2);
  a->Data()[0] = ref;  // the array takes the creation count
  GSArray* copy = GSArray::Create(nullptr, true);
  ASSERT_TRUE(GSArray::AssignRange(*copy, *a, 0, -1));
  ASSERT_TRUE(GSArray::Splice(*copy, 0, 0, a));  // copy: s, null, s, null
  EXPECT_EQ(GSScriptInstance::FromRef(ref)->count, 3);
  ASSERT_TRUE(GSArray::Splice(*copy, 0, 3, nullptr));
  EXPECT_EQ(GSScriptInstance::FromRef(ref)->count, 1);
  GSObjectReference::Release(a->GetScriptInstance());
  EXPECT_EQ(GSScriptInstance::LiveCount(), 1);
  GSObjectReference::Release(copy->GetScriptInstance());
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
}

TEST(GSReferenceTest, StoresAcrossContextsFollowTheShareFlag) {
  GSContext home, other, shared;
  shared.SetShares(true);
  struct Case {
    const char* what;
    GSContext* holder;
    GSContext* value;
    bool stored;
  } cases[] = {
      {"same context", &home, &home, true},
      {"other context", &home, &other, false},
      {"other context that shares", &home, &shared, true},
      {"value without a context", &home, nullptr, true},
      {"holder without a context", nullptr, &other, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GSArray* holder = GSArray::Create(c.holder, true);
    holder->SetSize(1);
    const GSValue value = GSString::Create("v", c.value)->GetScriptInstance();
    const int64_t before = GSScriptInstance::LiveCount();
    EXPECT_EQ(GSStoreReference(GSScriptInstance::FromRef(holder->GetScriptInstance()),
                               &holder->Data()[0], value, false),
              c.stored);
    EXPECT_EQ(holder->Data()[0], c.stored ? value : 0u);
    EXPECT_EQ(GSScriptInstance::LiveCount(),
              before - (c.stored ? 0 : 1));  // a refused value is released
    GSObjectReference::Release(holder->GetScriptInstance());
  }
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
}

}  // namespace
