#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tetlib/PersonalDetails.h"
#include "tests/tetlib/TetTestSupport.h"

namespace {

using TETLib::DataManager;

class DataManagerTest : public TetTest {};

TEST_F(DataManagerTest, MergesTheDefinitionFilesAndReadsEveryFileAsLines) {
  Put("defs/list.txt", "word 1 2 3\r\nsolo\nlast line");
  std::filesystem::create_directories(At("defs/sub"));
  PutDefinitions("base\n{\n  from \"inheritance\"\n}\n",
                 "x\n{\n  from \"kind\"\n}\nbase\n{\n  from \"kind\"\n}\n",
                 "x\n{\n  from \"container\"\n}\n");
  const Soup& definitions = Manager().GetDefinitions();
  EXPECT_EQ(definitions.GetNamedSoup(Kiv::PString("x")).GetNamedTag(Kiv::PString("from")).Str(),
            "container");
  EXPECT_EQ(definitions.GetNamedSoup(Kiv::PString("base")).GetNamedTag(Kiv::PString("from")).Str(),
            "kind");

  const std::vector<TETLib::DefinitionLine>* lines =
      Manager().FindListFile(Kiv::PString("list.txt"));
  ASSERT_NE(lines, nullptr);
  ASSERT_EQ(lines->size(), 3u);
  EXPECT_EQ((*lines)[0].key.Str(), "word");
  EXPECT_EQ((*lines)[0].value.Str(), "1 2 3");
  EXPECT_EQ((*lines)[1].key.Str(), "solo");
  EXPECT_TRUE((*lines)[1].value.Empty());
  EXPECT_EQ((*lines)[2].value.Str(), "line");
  // The definition files are line tables too; a subfolder is none.
  EXPECT_NE(Manager().FindListFile(Kiv::PString("kind.txt")), nullptr);
  EXPECT_EQ(Manager().FindListFile(Kiv::PString("sub")), nullptr);
}

TEST_F(DataManagerTest, AFailedLoadStaysFailedAndIsNotRetried) {
  EXPECT_FALSE(Manager().LoadDefinitions());  // an empty folder
  Put("defs/kind.txt", "x\n{\n  top-level 1\n}\n");
  EXPECT_FALSE(Manager().LoadDefinitions());
  EXPECT_EQ(Manager().GetDefinitions().CountTags(), 0u);
}

TEST_F(DataManagerTest, AFileThatCannotBeReadFailsTheLoad) {
  Put("defs/kind.txt", "x\n{\n  top-level 1\n}\n");
  ASSERT_EQ(::symlink(At("nowhere").c_str(), At("defs/broken.txt").c_str()), 0);
  EXPECT_FALSE(Manager().LoadDefinitions());
}

TEST_F(DataManagerTest, PersonalDetailsAreReadOnFirstUseAndWrittenAtShutDown) {
  Put("defs/personalDetails.txt", "author \"Ann\"\nisinputboxon 2\n");
  EXPECT_EQ(Manager().GetPersonalDetails().author.Str(), "Ann");
  EXPECT_TRUE(Manager().GetPersonalDetails().isInputBoxOn);
  DataManager::DestroyInstance();
  Soup saved = Parse(Get("defs/personalDetails.txt"));
  EXPECT_EQ(saved.GetNamedTag(Kiv::PString("author")).Str(), "Ann");
  EXPECT_EQ(saved.GetNamedTagAsInt(Kiv::PString("isinputboxon"), -1), 1);
  EXPECT_EQ(saved.GetIndexedTagName(5).Str(), "isinputboxon");
}

// A long-lived process (the command host) calls EnsureLanguageData for every
// validation: an unchanged file is not read again (a change made in memory
// stays), a file changed in place (same size, later time) or replaced is.
TEST_F(DataManagerTest, PersonalDetailsAreReadAgainOnlyWhenTheFileChanges) {
  const Kiv::String path = At("defs/personalDetails.txt");
  Put("defs/personalDetails.txt", "author \"Ann\"\n");
  ASSERT_EQ(Manager().GetPersonalDetails().author.Str(), "Ann");
  Manager().GetPersonalDetails().author = Kiv::PString("Kept");
  EXPECT_TRUE(Manager().EnsureLanguageData());
  EXPECT_EQ(Manager().GetPersonalDetails().author.Str(), "Kept") << "read again unchanged";

  struct Change {
    const char* what;
    const char* author;
    bool replace;  // a new file renamed over the old one
  };
  for (const Change& change : {Change{"in place, same size", "Bob", false},
                               Change{"replaced", "Cecilia", true}}) {
    const std::string text = std::string("author \"") + change.author + "\"\n";
    if (change.replace) {
      Put("defs/new.txt", text);
      ASSERT_EQ(::rename(At("defs/new.txt").c_str(), path.c_str()), 0);
    } else {
      struct stat before = {};
      ASSERT_EQ(::stat(path.c_str(), &before), 0);
      Put("defs/personalDetails.txt", text);
      // A later modification time, whatever the clock's granularity.
      const timespec times[2] = {{0, UTIME_OMIT}, {before.st_mtim.tv_sec + 1, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    EXPECT_TRUE(Manager().EnsureLanguageData());
    EXPECT_EQ(Manager().GetPersonalDetails().author.Str(), change.author) << change.what;
  }
  // A file gone leaves the details as they were.
  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_TRUE(Manager().EnsureLanguageData());
  EXPECT_EQ(Manager().GetPersonalDetails().author.Str(), "Cecilia");
  // Without its folder there is no language data at all.
  std::filesystem::remove_all(At("defs"));
  EXPECT_FALSE(Manager().EnsureLanguageData());
}

// A shut-down whose details are already in the file leaves the file alone
// (same inode, no temporary); changed details, or a file in another layout,
// are written out.
TEST_F(DataManagerTest, PersonalDetailsAreRewrittenOnlyWhenTheBytesWouldChange) {
  std::filesystem::create_directories(At("defs"));
  const Kiv::String path = At("defs/personalDetails.txt");
  TETLib::PersonalDetails details;
  details.author = Kiv::PString("Ann");
  ASSERT_TRUE(details.Save(path));
  const std::string first = Get("defs/personalDetails.txt");
  struct stat before = {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  ASSERT_TRUE(details.Save(path));
  struct stat after = {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "the same details were written again";
  EXPECT_EQ(Get("defs/personalDetails.txt"), first);

  details.author = Kiv::PString("Bob");
  ASSERT_TRUE(details.Save(path));
  EXPECT_EQ(Parse(Get("defs/personalDetails.txt")).GetNamedTag(Kiv::PString("author")).Str(),
            "Bob");

  // The same values in a hand-written layout are brought to the written one.
  Put("defs/personalDetails.txt", "author \"Bob\"\n");
  ASSERT_TRUE(details.Save(path));
  EXPECT_EQ(Parse(Get("defs/personalDetails.txt")).CountTags(), 6u);
}

// Every process of an installation rewrites the one file at its shut-down,
// through one temporary name beside it: saves at the same time take turns
// instead of failing, and the file always holds one whole save.
TEST_F(DataManagerTest, PersonalDetailsSavedAtOnceAllSucceed) {
  std::filesystem::create_directories(At("defs"));
  const Kiv::String path = At("defs/personalDetails.txt");
  std::atomic<int> failures{0};
  std::vector<std::thread> savers;
  for (int t = 0; t < 4; ++t) {
    savers.emplace_back([&path, &failures, t] {
      TETLib::PersonalDetails details;
      details.author = Kiv::PString("Author " + std::to_string(t));
      for (int i = 0; i < 20; ++i) failures += details.Save(path) ? 0 : 1;
    });
  }
  for (std::thread& saver : savers) saver.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Parse(Get("defs/personalDetails.txt")).CountTags(), 6u);
  EXPECT_FALSE(std::filesystem::exists(At("defs/personalDetails.tmp")));
}

// The text form reads any bytes, so what cannot be read is a name that holds
// no readable file; a folder of that name is what a root user cannot read
// either. Shut-down leaves it as it was instead of replacing it.
TEST_F(DataManagerTest, PersonalDetailsThatCannotBeReadAreNeverOverwritten) {
  std::filesystem::create_directories(At("defs/personalDetails.txt/keep"));
  EXPECT_TRUE(Manager().GetPersonalDetails().author.Empty());
  DataManager::DestroyInstance();
  EXPECT_TRUE(std::filesystem::is_directory(At("defs/personalDetails.txt/keep")));
}

TEST_F(DataManagerTest, RegistriesHoldNoObjectPastItsLifeOrItsAsset) {
  const Kiv::PString meshTable("mesh-table");
  auto container = std::make_unique<TETLib::Container>();
  container->SetName(Kiv::PString("default"));
  auto tag = std::make_unique<TETLib::Tag>();
  Manager().AddToKeyedListB(meshTable, container.get());
  Manager().AddToKeyedListA(meshTable, tag.get());
  Manager().AddToItemSet(tag.get());
  Manager().AddToItemSet(tag.get());
  Manager().AddToItemList2(tag.get());
  EXPECT_EQ(Manager().GetItemSet().size(), 1u);
  EXPECT_TRUE(Manager().IsNameRegistered(Kiv::PString("default"), meshTable));
  EXPECT_FALSE(Manager().IsNameRegistered(Kiv::PString("default"), Kiv::PString("queues")));
  container.reset();
  tag.reset();
  EXPECT_TRUE(Manager().RegistriesEmpty());

  TETLib::Container kept;
  Manager().AddToKeyedListB(meshTable, &kept);
  Manager().SetAssetFolder(Kiv::PString(), Kiv::File::Path(At("asset")));
  EXPECT_TRUE(Manager().RegistriesEmpty());
  EXPECT_EQ(Manager().GetAssetFolder().Str(), At("asset"));
}

}  // namespace
