// Exact lookups (File::kExactCase, File::NameCase::kExact): a path given
// in another case than the file system holds it is missing, where the
// ordinary lookup finds it.
#include "kiv/File.h"
#include "kiv/FileConfinement.h"
#include "tests/support/TempFolder.h"

using Kiv::File;

namespace {

class KivFileExactCase : public VUTest::TempFolderTest {};

TEST_F(KivFileExactCase, AnotherCaseIsFoundOnlyWithoutTheExactFlag) {
  Put("Data/Foo.txt", "abc");
  constexpr uint32_t kWrite = File::kCreate | 1;
  const struct {
    const char* relative;
    uint32_t mode;
    bool opens;
  } steps[] = {
      {"Data/Foo.txt", File::kRead | File::kExactCase, true},
      {"data/FOO.txt", File::kRead | File::kExactCase, false},
      {"data/FOO.txt", File::kRead, true},
      {"DATA/new.txt", kWrite | File::kExactCase, false},  // its folder is not looked up
      {"DATA/new.txt", kWrite, true},
  };
  File file;
  for (const auto& step : steps)
    EXPECT_EQ(file.Open(At(step.relative), step.mode), step.opens) << step.relative << step.mode;
  EXPECT_TRUE(File::Exists(At("Data/Foo.txt"), File::NameCase::kExact));
  EXPECT_FALSE(File::Exists(At("data/foo.txt"), File::NameCase::kExact));
  EXPECT_FALSE(File::IsDirectory(At("DATA"), File::NameCase::kExact));
  EXPECT_EQ(File::FileSize(At("Data/FOO.txt"), File::NameCase::kExact), -1);
  EXPECT_EQ(File::FileSize(At("Data/FOO.txt")), 3);

  Kiv::ConfinedFolder confined(temp_.Path());
  EXPECT_FALSE(file.Open(At("data/foo.txt"), File::kRead | File::kExactCase))
      << "below a confined folder too";
  EXPECT_TRUE(file.Open(At("data/foo.txt"), File::kRead));
}

}  // namespace
