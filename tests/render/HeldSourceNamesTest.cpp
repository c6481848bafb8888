// The names of texture sources a conversion holds, given back by a stop
// signal: only the file that was renamed goes back, and never over a file;
// and the table of held names, whose slots and folders every hold gives
// back. A signal ends the process, so it comes in a death test.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <limits.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "render/textures/HeldSourceNames.h"
#include "render/textures/SourceNamesOnSignal.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

struct HeldRow {
  const char* folder;
  // What happens to the held source's folder before the signal.
  void (*meanwhile)(const VUTest::TempFolder& temp, const std::string& folder);
  // The folder's listing and the source's text at `textAt` afterwards.
  const char* listing;
  const char* textAt;
};

const HeldRow kRows[] = {
    {"held", [](const VUTest::TempFolder&, const std::string&) {}, "s.texture.txt",
     "s.texture.txt"},
    {"swapped",
     [](const VUTest::TempFolder& temp, const std::string& folder) {
       fs::rename(temp.At(folder + "/s.convert-tex.txt"), temp.At(folder + "/moved"));
       temp.Put(folder + "/s.convert-tex.txt", "another file");
     },
     "moved s.convert-tex.txt", "moved"},
    {"remade",
     [](const VUTest::TempFolder& temp, const std::string& folder) {
       temp.Put(folder + "/s.texture.txt", "a new source");
     },
     "s.convert-tex.txt s.texture.txt", "s.convert-tex.txt"},
};

class HeldSourceNamesTest : public VUTest::TempFolderTest {};

TEST_F(HeldSourceNamesTest, AStopSignalGivesBackOnlyWhatWasRenamedAndReplacesNothing) {
  for (const HeldRow& row : kRows) Put(std::string(row.folder) + "/s.texture.txt", "source");
  EXPECT_EXIT(
      {
        const SourceNamesOnSignal onSignal;
        HeldSourceName held[std::size(kRows)];
        for (size_t i = 0; i < std::size(kRows); ++i) {
          const std::string folder = At(kRows[i].folder);
          if (held[i].Hold(folder + "/s.texture.txt", folder + "/s.convert-tex.txt") != 0) _exit(2);
          kRows[i].meanwhile(temp_, kRows[i].folder);
        }
        ::raise(SIGTERM);
        _exit(3);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  for (const HeldRow& row : kRows) {
    EXPECT_EQ(temp_.Listing(row.folder), row.listing) << row.folder;
    EXPECT_EQ(Get(std::string(row.folder) + "/" + row.textAt), "source") << row.folder;
  }
}

size_t OpenDescriptors() {
  return size_t(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

TEST_F(HeldSourceNamesTest, NoSourceIsHeldOnceTheHandlerHasRun) {
  Put("s.texture.txt", "source");
  EXPECT_EXIT(
      {
        GiveHeldSourceNamesBack();
        HeldSourceName held;
        _exit(held.Hold(At("s.texture.txt"), At("s.convert-tex.txt")) == EINTR ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(temp_.Listing(), "s.texture.txt");
}

TEST_F(HeldSourceNamesTest, TheTableAndItsNamesAreBoundedAndEveryHoldGivesItsPartsBack) {
  const size_t descriptors = OpenDescriptors();
  for (int round = 0; round < 2; ++round) {
    std::vector<HeldSourceName> held(kMaxHeldSourceNames + 1);
    for (size_t i = 0; i < held.size(); ++i) {
      // The second round gives each slot a name of another length.
      const size_t number = round == 0 ? i : held.size() - 1 - i;
      const std::string stem = Put("s" + std::to_string(number) + ".texture.txt", "source");
      const std::string name = stem.substr(0, stem.size() - 12);
      EXPECT_EQ(held[i].Hold(stem, name + ".convert-tex.txt"),
                i < kMaxHeldSourceNames ? 0 : EAGAIN);
      EXPECT_EQ(fs::exists(name + ".convert-tex.txt"), i < kMaxHeldSourceNames) << name;
    }
    EXPECT_EQ(held[0].Hold(At("s1.texture.txt"), At("s1.convert-tex.txt")), EBUSY);
    for (size_t i = 1; i < held.size(); ++i) EXPECT_EQ(held[i].GiveBack(), 0);
  }  // the first hold goes back with its holder
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(temp_.Listing().find("convert-tex"), std::string::npos);

  // The temporary name at NAME_MAX bytes, then one byte over, in a slot
  // before one that holds a source, which neither may touch.
  HeldSourceName before, after;
  ASSERT_EQ(before.Hold(At("s0.texture.txt"), At("s0.convert-tex.txt")), 0);
  ASSERT_EQ(after.Hold(At("s1.texture.txt"), At("s1.convert-tex.txt")), 0);
  EXPECT_EQ(before.GiveBack(), 0);
  const std::string longest(NAME_MAX - 16, 'n');
  for (const std::string& stem : {longest, longest + "n"}) {
    Put(stem + ".texture.txt", "source");
    HeldSourceName held;
    EXPECT_EQ(held.Hold(At(stem + ".texture.txt"), At(stem + ".convert-tex.txt")),
              stem == longest ? 0 : ENAMETOOLONG);
    EXPECT_TRUE(fs::exists(At(stem + (stem == longest ? ".convert-tex.txt" : ".texture.txt"))));
  }
  EXPECT_EQ(after.GiveBack(), 0);
  EXPECT_EQ(temp_.Listing().find("convert-tex"), std::string::npos);
}

}  // namespace
