// Message payloads from script soup arguments, with a stand-in for the Soup
// class hook that the natives library registers.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "gsruntime/GSPayloadSoup.h"

namespace {

using GSRuntime::GSValue;

// The stand-in treats reference 1 as a Soup object over `argumentSoup` and
// any other reference as another kind of object.
Soup argumentSoup;

bool FakeSoupOf(GSValue ref, Soup& soup) {
  if (ref != 1) return false;
  soup = argumentSoup;
  return true;
}

GSValue FakeMakeLocked(GSRuntime::GSContext*, const Soup&) {
  return 0;
}

const GSRuntime::GSSoupClassHook kFakeHook = {FakeSoupOf, FakeMakeLocked};

std::string Names(const Soup& soup) {
  std::string names;
  for (uint32_t i = 0; i < soup.CountTags(); ++i)
    names += std::string(soup.GetIndexedTagName(i).View()) + " ";
  return names;
}

class PayloadSoup : public ::testing::Test {
 protected:
  void SetUp() override {
    argumentSoup = Soup();
    GSRuntime::GSSetSoupClassHook(&kFakeHook);
  }
  void TearDown() override { GSRuntime::GSSetSoupClassHook(nullptr); }
};

TEST_F(PayloadSoup, ReservedTopLevelTagsGoEvenWhenRepeatedAndTheRestIsCopied) {
  argumentSoup.SetNamedTag(Kiv::PString("__first"), "x");
  argumentSoup.SetNamedTag(Kiv::PString("name"), "crate");
  Soup inner;
  inner.SetNamedTag(Kiv::PString("__kept"), "inner");
  argumentSoup.SetNamedSoup(Kiv::PString("inner"), inner);
  Soup repeated;
  repeated.Create();
  argumentSoup.GetChunk()->SetChild(Kiv::PString("__twice"), repeated.GetChunkRef());
  argumentSoup.SetNamedTag(Kiv::PString("_one"), "kept");
  argumentSoup.GetChunk()->SetChild(Kiv::PString("__twice"), repeated.GetChunkRef());
  argumentSoup.SetNamedTag(Kiv::PString("__"), "x");

  std::shared_ptr<Soup> payload;
  ASSERT_TRUE(GSRuntime::GSPayloadFromArgument(1, payload));
  ASSERT_TRUE(payload);
  EXPECT_EQ(Names(*payload), "name inner _one ");
  EXPECT_EQ(payload->GetNamedSoup(Kiv::PString("inner")).CountTags(), 1u);
  EXPECT_EQ(Names(argumentSoup), "__first name inner __twice _one __twice __ ")
      << "the argument's soup is left as it was";

  argumentSoup.SetNamedTag(Kiv::PString("name"), "renamed");
  inner.SetNamedTag(Kiv::PString("more"), "x");
  EXPECT_EQ(std::string(payload->GetNamedTag(Kiv::PString("name")).View()), "crate");
  EXPECT_EQ(payload->GetNamedSoup(Kiv::PString("inner")).CountTags(), 1u)
      << "the copy is deep: later changes of the argument do not reach it";
}

TEST_F(PayloadSoup, NullGivesNoPayloadAndOtherObjectsAreRefused) {
  argumentSoup.SetNamedTag(Kiv::PString("name"), "crate");
  auto payload = std::make_shared<Soup>();
  ASSERT_TRUE(GSRuntime::GSPayloadFromArgument(0, payload));
  EXPECT_FALSE(payload);

  payload = std::make_shared<Soup>();
  const Soup* before = payload.get();
  EXPECT_FALSE(GSRuntime::GSPayloadFromArgument(2, payload));
  EXPECT_EQ(payload.get(), before);

  GSRuntime::GSSetSoupClassHook(nullptr);
  EXPECT_FALSE(GSRuntime::GSPayloadFromArgument(1, payload))
      << "without the Soup class no object is a soup";
  EXPECT_EQ(GSRuntime::GSMakePayloadObject(nullptr, argumentSoup), 0u);
}

}  // namespace
