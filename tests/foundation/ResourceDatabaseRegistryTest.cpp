#include "foundation/layout/ResourceDatabaseRegistry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/LayoutTestRoot.h"

namespace {

class ResourceDatabaseRegistryTest : public LayoutTestRoot {
 protected:
  void SetUp() override {
    LayoutTestRoot::SetUp();
    startCount_ = GetSharedEntryCount();
  }

  Kiv::File::Path Folder(const std::string& name) const {
    return Kiv::File::Path(dir_ + "/" + name);
  }

  uint32_t startCount_ = 0;
};

TEST_F(ResourceDatabaseRegistryTest, SameNameSharesOneDatabaseUntilReleasedAndSwept) {
  const Kiv::PString name("registry-shared");
  VandruResourceDatabase* first = AcquireSharedEntry(name, Folder("Shared"));
  ASSERT_NE(first, nullptr);
  VandruResourceDatabase* second = AcquireSharedEntry(name, Folder("Elsewhere"));
  EXPECT_EQ(first, second);
  EXPECT_EQ(GetTrackedRefCount(first), 2u);
  EXPECT_EQ(GetSharedEntryCount(), startCount_ + 1);
  EXPECT_FALSE(first->IsArchive());
  EXPECT_EQ(RootOf("registry-shared"), dir_ + "/Shared/");

  ReleaseTrackedRef(first);
  SweepUnusedEntries();
  EXPECT_EQ(GetTrackedRefCount(first), 1u) << "a database in use survives a sweep";

  ReleaseTrackedRef(first);
  SweepUnusedEntries();
  EXPECT_EQ(GetSharedEntryCount(), startCount_);
  EXPECT_EQ(RootOf("registry-shared"), "<none>") << "deleting the database removes its root";
}

TEST_F(ResourceDatabaseRegistryTest, ArchiveBesideFolderBecomesTheRoot) {
  Put("Packed.ja", "x");
  VandruResourceDatabase* packed =
      AcquireSharedEntry(Kiv::PString("registry-packed"), Folder("Packed/"));
  ASSERT_NE(packed, nullptr);
  EXPECT_TRUE(packed->IsArchive());
  EXPECT_EQ(RootOf("registry-packed"), dir_ + "/Packed.ja");
  ReleaseTrackedRef(packed);
}

TEST_F(ResourceDatabaseRegistryTest, UseCountsIgnoreUnknownDatabasesAndStopAtZero) {
  VandruResourceDatabase* db = AcquireSharedEntry(Kiv::PString("registry-counts"), Folder("c"));
  ASSERT_NE(db, nullptr);
  AddTrackedRef(db);
  EXPECT_EQ(GetTrackedRefCount(db), 2u);
  AddTrackedRef(nullptr);
  ReleaseTrackedRef(nullptr);
  VandruResourceDatabase stray(Kiv::PString("registry-stray"), Folder("s"));
  ReleaseTrackedRef(&stray);
  AddTrackedRef(&stray);
  EXPECT_EQ(GetTrackedRefCount(&stray), 0u);
  for (int i = 0; i < 3; ++i) ReleaseTrackedRef(db);
  EXPECT_EQ(GetTrackedRefCount(db), 0u);
  EXPECT_EQ(AcquireSharedEntry(Kiv::PString(), Folder("c")), nullptr) << "an empty name";
}

TEST_F(ResourceDatabaseRegistryTest, FullTableRefusesNewNameAndStaysAsItWas) {
  std::vector<VandruResourceDatabase*> held;
  for (uint32_t i = startCount_; i < 256; ++i) {
    const std::string name = "registry-full-" + std::to_string(i);
    held.push_back(AcquireSharedEntry(Kiv::PString(name), Folder(name)));
    ASSERT_NE(held.back(), nullptr) << name;
  }
  ASSERT_EQ(GetSharedEntryCount(), 256u);

  EXPECT_EQ(AcquireSharedEntry(Kiv::PString("registry-one-too-many"), Folder("x")), nullptr);
  EXPECT_EQ(GetSharedEntryCount(), 256u);
  EXPECT_EQ(RootOf("registry-one-too-many"), "<none>");
  for (VandruResourceDatabase* db : held) EXPECT_EQ(GetTrackedRefCount(db), 1u);

  // A full table is swept before it refuses: one unused entry makes room.
  ReleaseTrackedRef(held.front());
  VandruResourceDatabase* late =
      AcquireSharedEntry(Kiv::PString("registry-one-too-many"), Folder("x"));
  EXPECT_NE(late, nullptr);
  EXPECT_EQ(GetSharedEntryCount(), 256u);
  // The entry moved into the freed place still answers to its name.
  EXPECT_EQ(AcquireSharedEntry(Kiv::PString("registry-full-255"), Folder("y")), held.back());

  ReleaseTrackedRef(late);
  ReleaseTrackedRef(held.back());
  for (VandruResourceDatabase* db : held) ReleaseTrackedRef(db);
  SweepUnusedEntries();
  EXPECT_EQ(GetSharedEntryCount(), startCount_);
}

TEST_F(ResourceDatabaseRegistryTest, ConcurrentAcquireAndReleaseKeepCountsExact) {
  const Kiv::PString name("registry-threads");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) ReleaseTrackedRef(AcquireSharedEntry(name, Folder("t")));
    });
  }
  VandruResourceDatabase* mine = AcquireSharedEntry(name, Folder("t"));
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(GetTrackedRefCount(mine), 1u);
  ReleaseTrackedRef(mine);
}

}  // namespace
