// The mark of an edit copy tells a folder left as it was marked from one
// changed in a single respect: a file's bytes, size or inode, an entry.
#include "foundation/layout/EditCopyMark.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ostream>
#include <string>

#include "tests/support/TempFolder.h"

namespace {

// Before any mark, and after it: a file of the later time adds its bytes.
void SetTime(const std::string& path, time_t seconds) {
  const timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}
constexpr time_t kEarlier = 1000000000;
constexpr time_t kLater = 4000000000;

struct MarkCase {
  const char* name;
  void (*after)(const VUTest::TempFolder& copy);  // done once the copy is marked
  bool asMade;
};

const MarkCase kCases[] = {
    {"LeftAlone", [](const VUTest::TempFolder&) {}, true},
    {"ASaveKeepingSizeAndTime",
     [](const VUTest::TempFolder& copy) { SetTime(copy.Put("sub/late.txt", "LATE"), kLater); },
     false},
    {"AFileMadeAgainWithTheSameBytesAndTime",
     [](const VUTest::TempFolder& copy) {
       SetTime(copy.Put("again.txt", "early"), kEarlier);
       std::rename(copy.At("again.txt").c_str(), copy.At("early.txt").c_str());
     },
     false},
    {"ASizeChangeKeepingTime",
     [](const VUTest::TempFolder& copy) { SetTime(copy.Put("early.txt", "earl"), kEarlier); },
     false},
    {"AnEmptyFolderAdded", [](const VUTest::TempFolder& copy) { copy.MakeFolder("sub/new"); },
     false},
};

class EditCopyMark : public ::testing::TestWithParam<MarkCase> {};

TEST_P(EditCopyMark, HoldsOnlyWhatWasMadeUntilAnythingChanges) {
  VUTest::TempFolder copy("Mark");
  SetTime(copy.Put("early.txt", "early"), kEarlier);
  SetTime(copy.Put("sub/late.txt", "late"), kLater);
  EXPECT_FALSE(HoldsOnlyWhatWasMade(copy.Path())) << "not marked yet";
  ASSERT_TRUE(MarkAsMade(copy.Path()));
  GetParam().after(copy);
  EXPECT_EQ(HoldsOnlyWhatWasMade(copy.Path()), GetParam().asMade);
}

void PrintTo(const MarkCase& row, std::ostream* out) {
  *out << row.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, EditCopyMark, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MarkCase>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
