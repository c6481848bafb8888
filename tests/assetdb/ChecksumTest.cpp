#include <gtest/gtest.h>

#include <string>

#include "CDPTestSupport.h"
#include "assetdb/archive/CDPChecksum.h"
#include "assetdb/protocol/ChecksumPair.h"

using namespace cdptest;

namespace {

std::string TextOf(std::string_view bytes) {
  return ChecksumPair::ToText(ChecksumPair::Compute(bytes.data(), uint32_t(bytes.size()))).Str();
}

TEST(ChecksumPair, WorkedExamples) {
  const ChecksumPair pair = ChecksumPair::Compute("abcdefgh", 8);
  EXPECT_EQ(pair.checksum, 1650218576u);
  EXPECT_EQ(pair.length, 8u);
  EXPECT_EQ(TextOf("abcdefgh"), "8:1650218576");
  EXPECT_EQ(TextOf("abcdefghi"), "8:1650218576");  // the ninth byte is not counted
  EXPECT_EQ(TextOf("abcde"), "4:-926497597");      // printed signed
  EXPECT_EQ(TextOf("abcd"), "0:0");
  EXPECT_EQ(TextOf(""), "0:0");
}

TEST(ChecksumPair, ShiftDropsTheTopBitAndFoldsBit30) {
  const char bytes[] = {'\x01', '\x00', '\x00', '\x80', 'x'};
  EXPECT_EQ(ChecksumPair::Compute(bytes, 5).checksum, 2u);
  // A sum that ends at 0 becomes 1.
  const char zeros[8] = {};
  EXPECT_EQ(ChecksumPair::Compute(zeros, 8), (ChecksumPair{1, 8}));
}

TEST(ChecksumPair, AddWrapsAndNeverLeavesZero) {
  EXPECT_EQ(ChecksumPair::Add({0xFFFFFFFFu, 4}, {1, 8}), (ChecksumPair{1, 12}));
  EXPECT_EQ(ChecksumPair::Add({}, {}), (ChecksumPair{1, 0}));
  EXPECT_EQ(ChecksumPair::Add({5, 4}, {6, 8}), (ChecksumPair{11, 12}));
}

TEST(CDPChecksum, SmallFilesGiveZeroOneAndNoFilesZeroZero) {
  Soup entry = MakeEntry(KUID{1, 2, 0});
  EXPECT_EQ(ChecksumPair::ToText(CDP::ComputeFilesChecksum(entry)).Str(), "0:0");
  Soup files;
  files.Create();
  entry.SetNamedSoup(N("files"), files);
  EXPECT_EQ(ChecksumPair::ToText(CDP::ComputeFilesChecksum(entry)).Str(), "0:0");
  AddFile(files, "a.txt", "abcd");
  EXPECT_EQ(ChecksumPair::ToText(CDP::ComputeFilesChecksum(entry)).Str(), "0:1");
}

TEST(CDPChecksum, NamesAndFoldersDoNotCount) {
  Soup flat;
  AddFile(flat, "one.txt", "abcdefgh");
  AddFile(flat, "two.txt", "0123456789");
  Soup nested;
  AddFile(nested, "renamed.txt", "abcdefgh");
  Soup sub;
  AddFile(sub, "moved.txt", "0123456789");
  nested.SetNamedSoup(N("sub"), sub);
  // Other tag types in the tree are ignored.
  nested.SetNamedInt(N("number"), 7);
  EXPECT_EQ(CDP::ChecksumTree(flat), CDP::ChecksumTree(nested));
}

TEST(CDPChecksum, ASoupThatContainsItselfEnds) {
  Soup files;
  AddFile(files, "a.txt", "abcdefgh");
  Soup self = files;
  files.SetNamedSoup(N("loop"), self);
  EXPECT_EQ(CDP::ChecksumTree(files).length, 8u);
  files.RemoveNamedTag(N("loop"));
}

TEST(CDPChecksum, SetAndVerifyDSIDCompareExactText) {
  Soup entry = MakeEntry(KUID{1, 2, 0});
  Soup files;
  AddFile(files, "a.txt", "abcdefgh");
  entry.SetNamedSoup(N("files"), files);
  CDP::SetDSID(entry);
  EXPECT_EQ(entry.GetNamedTag(N("dsid")).Str(), "8:1650218576");
  EXPECT_TRUE(CDP::VerifyDSID(entry));
  entry.SetNamedTag(N("dsid"), std::string_view("8:1650218576 "));
  EXPECT_FALSE(CDP::VerifyDSID(entry));
  AddFile(files, "b.txt", "more bytes");
  CDP::SetDSID(entry);
  EXPECT_TRUE(CDP::VerifyDSID(entry));
  entry.RemoveNamedTag(N("dsid"));
  EXPECT_FALSE(CDP::VerifyDSID(entry));
}

}  // namespace
