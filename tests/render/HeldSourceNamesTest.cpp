// The names of texture sources a conversion holds, given back by a stop
// signal: only the file that was renamed goes back, and never over a file.
// The signal ends the process, so each run is a death test of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>

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
          if (held[i].Hold(folder + "/s.texture.txt", folder + "/s.convert-tex.txt") != 0)
            _exit(2);
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

}  // namespace
