#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "SpecTestSupport.h"
#include "foundation/layout/ContentSetFolder.h"
#include "foundation/spec/SpecRegistry.h"
#include "tests/support/LayoutTestRoot.h"

namespace {

class ContentSetFolderTest : public LayoutTestRoot {};

TEST_F(ContentSetFolderTest, SetsMapToBaseDataAndTheirLayoutFolders) {
  StartLayout();
  bool found = false;
  ContentSetFolder none = AcquireContentSetFolder(Kiv::PString(), &found);
  EXPECT_TRUE(found) << "no content set needs no folder";
  EXPECT_FALSE(none);

  const std::pair<const char*, const char*> sets[] = {
      {"base", "Base/"}, {"data", "Data/"}, {"editing", "UserData/editing/"}, {"Extra", "Extra/"}};
  std::vector<ContentSetFolder> held;
  for (const auto& [name, folder] : sets) {
    held.push_back(AcquireContentSetFolder(Kiv::PString(name), &found));
    EXPECT_TRUE(found) << name;
    EXPECT_EQ(RootOf(name), At(folder));
  }
  ContentSetFolder outside = AcquireContentSetFolder(Kiv::PString("../elsewhere"), &found);
  EXPECT_FALSE(found) << "a set name may not lead out of the installation";
  EXPECT_FALSE(outside);
}

TEST_F(ContentSetFolderTest, HandlesCountTheirUses) {
  StartLayout();
  bool found = false;
  ContentSetFolder first = AcquireContentSetFolder(Kiv::PString("spec-set"), &found);
  ASSERT_TRUE(first);
  VandruResourceDatabase* db = first.Get();
  EXPECT_EQ(GetTrackedRefCount(db), 1u);
  {
    ContentSetFolder copy = first;
    ContentSetFolder assigned;
    assigned = copy;
    EXPECT_EQ(GetTrackedRefCount(db), 3u);
    ContentSetFolder moved = std::move(assigned);
    EXPECT_EQ(GetTrackedRefCount(db), 3u);
  }
  EXPECT_EQ(GetTrackedRefCount(db), 1u);
  first.Release();
  EXPECT_EQ(GetTrackedRefCount(db), 0u);
}

TEST_F(ContentSetFolderTest, SpecHoldsItsContentSetUntilFreed) {
  StartLayout();
  SpecRegistry registry;
  SpecRef spec;
  registry.CreateSpec(spec, KUID{70, 1, 0}, Kiv::PString("spec-held"), Soup(), "/p", "f");
  ASSERT_TRUE(spec);
  EXPECT_TRUE(spec->contentSetFound);
  VandruResourceDatabase* db = spec->contentSetEntry.Get();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(GetTrackedRefCount(db), 1u);
  spec.Release();
  registry.ReleaseAll();
  EXPECT_EQ(GetTrackedRefCount(db), 0u);

  // Without an installation root nothing can be found.
  ResetFolderLayoutForTests();
  registry.CreateSpec(spec, KUID{70, 2, 0}, Kiv::PString("spec-held"), Soup(), "/p", "f");
  EXPECT_FALSE(spec->contentSetFound);
  spec.Release();
}

TEST(SpecFilePath, JoinsFoldersKeepingCaseAndRefusesEscapes) {
  spec_test::SpecEvents events;
  spec_test::CountingSpec spec(KUID{1, 2, 0}, &events);
  spec.parentFolder = "/Game/UserData/Editing";
  spec.folderName = "Red Barn";
  EXPECT_EQ(SpecFilePath(spec).Str(), "/Game/UserData/Editing/Red Barn");
  EXPECT_EQ(SpecFilePath(spec, "Mesh/Barn.IM").Str(),
            "/Game/UserData/Editing/Red Barn/Mesh/Barn.IM");
  EXPECT_EQ(SpecFilePath(spec, "Mesh\\Barn.im").Str(),
            "/Game/UserData/Editing/Red Barn/Mesh/Barn.im");

  spec_test::LogCapture log;
  EXPECT_TRUE(SpecFilePath(spec, "../Other/config.txt").Empty());
  EXPECT_TRUE(SpecFilePath(spec, "/etc/passwd").Empty());
  EXPECT_TRUE(SpecFilePath(spec, "a\\..\\..\\x").Empty());
  EXPECT_EQ(log.Take().size(), 3u) << "each refusal is logged";
  EXPECT_EQ(events.destroyed, 0);
}

}  // namespace
