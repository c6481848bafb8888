// The mark of an edit copy tells a folder left as it was marked from one
// the user may have written to, down to a save that keeps a file's size
// and time.
#include "foundation/layout/EditCopyMark.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "foundation/text/Sha256.h"
#include "tests/support/TempFolder.h"

namespace {

// A time well after any mark this test takes: the file's bytes then count.
const timespec kLater[2] = {{0, UTIME_OMIT}, {4000000000, 0}};

struct MarkCase {
  const char* name;
  void (*after)(const VUTest::TempFolder& copy);  // done once the copy is marked
  bool asMade;
};

const MarkCase kCases[] = {
    {"LeftAlone", [](const VUTest::TempFolder&) {}, true},
    {"ASaveKeepingSizeAndTime",
     [](const VUTest::TempFolder& copy) {
       copy.Put("sub/late.txt", "LATE");
       ::utimensat(AT_FDCWD, copy.At("sub/late.txt").c_str(), kLater, 0);
     },
     false},
    {"AFileMadeAgainAlike",
     [](const VUTest::TempFolder& copy) {
       copy.Put("again.txt", "same");
       std::rename(copy.At("again.txt").c_str(), copy.At("a.txt").c_str());
     },
     false},
    {"AnEmptyFolderAdded", [](const VUTest::TempFolder& copy) { copy.MakeFolder("sub/new"); },
     false},
    {"TheMarkForgotten", [](const VUTest::TempFolder& copy) { ForgetMark(copy.Path()); }, false},
};

class EditCopyMark : public ::testing::TestWithParam<MarkCase> {};

TEST_P(EditCopyMark, HoldsOnlyWhatWasMadeUntilAnythingChanges) {
  VUTest::TempFolder copy("Mark");
  copy.Put("a.txt", "same");
  copy.Put("sub/late.txt", "late");
  ::utimensat(AT_FDCWD, copy.At("sub/late.txt").c_str(), kLater, 0);
  EXPECT_FALSE(HoldsOnlyWhatWasMade(copy.Path())) << "not marked yet";
  ASSERT_TRUE(MarkAsMade(copy.Path()));
  GetParam().after(copy);
  EXPECT_EQ(HoldsOnlyWhatWasMade(copy.Path()), GetParam().asMade);
}

INSTANTIATE_TEST_SUITE_P(Rows, EditCopyMark, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MarkCase>& row) {
                           return std::string(row.param.name);
                         });

TEST(Sha256, StandardDigests) {
  const auto hex = [](const std::string& text) {
    Sha256 hash;
    for (const char c : text) hash.Add(&c, 1);
    std::string out;
    char two[3];
    for (const uint8_t byte : hash.Finish()) {
      std::snprintf(two, sizeof two, "%02x", byte);
      out += two;
    }
    return out;
  };
  EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

}  // namespace
