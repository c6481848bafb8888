// Tests of the record of replacements in flight: what a start reads back
// of what the store wrote, whatever other replacements let go of meanwhile.
#include "vaddaemon/InFlightRecord.h"

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace {

InFlightFolder Folder(const char* name, uint64_t inode, uint64_t device = 7) {
  return {"local", name, device, inode};
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
    read.push_back(folder.place + ":" + folder.name + " " + std::to_string(folder.inode));
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
}

// A line cut short, and what a longer record before left after the end.
TEST(InFlightRecordTest, OnlyWholeLinesBeforeTheEndAreReadAsFolders) {
  const std::string rows[] = {
      std::string("editing 7 10 kuid 1 1~\nlocal 7 1"),
      std::string("editing 7 10 kuid 1 1~\n\0local 7 11 kuid 1 1\n", 44),
  };
  for (const std::string& text : rows) {
    VUTest::TempFolder temp;
    const std::string path = temp.Path() + "/assets.tdx.in-flight";
    std::ofstream(path, std::ios::binary) << text;
    EXPECT_EQ(ReadBack(path), std::vector<std::string>{"editing:kuid 1 1~ 10"});
  }
}

}  // namespace
