// Tests of the record of replacements in flight: what a start reads back
// of what the store wrote, whatever other replacements let go of meanwhile.
#include "vaddaemon/InFlightRecord.h"

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace {

InFlightFolder Folder(const char* name, uint64_t inode, uint64_t device = 7, int64_t born = 0) {
  return {"local", name, device, inode, born};
}

// The folders a start reads back from `path`, as "<name> <inode>".
std::vector<std::string> ReadBack(const std::string& path) {
  InFlightRecord record(path);
  std::vector<InFlightFolder> folders;
  std::string error;
  EXPECT_TRUE(record.Load(&folders, &error)) << error;
  std::vector<std::string> read;
  for (const InFlightFolder& folder : folders) {
    EXPECT_EQ(folder.device, 7u);
    read.push_back(folder.place + ":" + folder.name + " " + std::to_string(folder.inode) +
                   (folder.born != 0 ? " born " + std::to_string(folder.born) : ""));
  }
  return read;
}

TEST(InFlightRecordTest, AStartReadsBackTheFoldersNoReplacementLetGoOf) {
  VUTest::TempFolder temp;
  const std::string path = temp.Path() + "/assets.tdx.in-flight";
  InFlightRecord record(path);
  std::string error;
  ASSERT_TRUE(record.Add({Folder("kuid 1 1~", 10), Folder("kuid 1 1", 11)}, &error)) << error;
  ASSERT_TRUE(record.Add({Folder("kuid 1 2~", 20)}, &error)) << error;
  // One replacement lets go of its new copy, and of folders of the other
  // names but not their identity: those records stay.
  ASSERT_TRUE(record.Drop(
      {Folder("kuid 1 1~", 10), Folder("kuid 1 1", 99), Folder("kuid 1 2~", 20, 8)}, &error))
      << error;
  EXPECT_EQ(ReadBack(path), (std::vector<std::string>{"local:kuid 1 1 11", "local:kuid 1 2~ 20"}));
  ASSERT_TRUE(record.Drop({Folder("kuid 1 1", 11), Folder("kuid 1 2~", 20)}, &error)) << error;
  EXPECT_TRUE(ReadBack(path).empty());
  EXPECT_TRUE(record.Drop({}, &error)) << error;
  EXPECT_TRUE(ReadBack(path).empty());
  // A birth time is part of the identity; no record is written longer
  // than a start reads.
  ASSERT_TRUE(record.Add({Folder("kuid 1 3~", 30, 7, 5)}, &error)) << error;
  ASSERT_TRUE(record.Drop({Folder("kuid 1 3~", 30)}, &error)) << error;
  EXPECT_FALSE(record.Add({Folder(std::string(1 << 20, 'k').c_str(), 40)}, &error));
  EXPECT_EQ(ReadBack(path), std::vector<std::string>{"local:kuid 1 3~ 30 born 5"});
}

// A line cut short (or its birth time), and what a longer record before
// left after the end.
TEST(InFlightRecordTest, OnlyWholeLinesBeforeTheEndAreReadAsFolders) {
  const std::string rows[] = {
      std::string("editing 7 10 kuid 1 1~\nlocal 7 1"),
      std::string("editing 7 10 kuid 1 1~\n\0local 7 11 kuid 1 1\n", 44),
      std::string("editing 7 10 kuid 1 1~\nlocal 7 11 born=9 \nlocal 7 12 born=-9 kuid 1 2\n"),
  };
  for (const std::string& text : rows) {
    VUTest::TempFolder temp;
    const std::string path = temp.Path() + "/assets.tdx.in-flight";
    std::ofstream(path, std::ios::binary) << text;
    EXPECT_EQ(ReadBack(path), std::vector<std::string>{"editing:kuid 1 1~ 10"});
  }
}

// A record longer than the store writes is no record, whatever it begins
// with; one just as long as it writes is read.
TEST(InFlightRecordTest, ARecordLongerThanTheStoreWritesIsRefused) {
  const std::string line = "local 7 11 born=5 kuid 1 1\n";
  for (const size_t size : {InFlightRecord::kMaxBytes, InFlightRecord::kMaxBytes + 1}) {
    VUTest::TempFolder temp;
    const std::string path = temp.Path() + "/assets.tdx.in-flight";
    std::ofstream(path) << line << std::string(size - line.size(), '\n') << '\0';
    std::vector<InFlightFolder> folders;
    std::string error;
    const bool read = InFlightRecord(path).Load(&folders, &error);
    EXPECT_EQ(read, size == InFlightRecord::kMaxBytes) << error;
    EXPECT_EQ(folders.size(), read ? 1u : 0u);
    EXPECT_EQ(error.find("longer than the store writes") != std::string::npos, !read) << error;
  }
}

}  // namespace
