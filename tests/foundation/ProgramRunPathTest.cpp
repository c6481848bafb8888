// The run path read from an ELF file: the build's module folder in this
// test program, nothing from a file that is cut short or no ELF file.
#include "foundation/layout/ProgramRunPath.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace {

TEST(ProgramRunPath, ABuiltProgramCarriesTheModuleFolder) {
  const std::vector<std::string> folders = ReadProgramRunPath();
  bool found = false;
  for (const std::string& folder : folders) found = found || folder.ends_with("/modules");
  EXPECT_TRUE(found) << folders.size();
}

TEST(ProgramRunPath, FilesCutShortOrNotELFGiveNoFolders) {
  std::ifstream in("/proc/self/exe", std::ios::binary);
  std::string head(65536, '\0');
  in.read(head.data(), std::streamsize(head.size()));
  head.resize(size_t(in.gcount()));
  VUTest::TempFolder folder;
  const std::string cases[] = {std::string(), head.substr(0, 40), head.substr(0, 200),
                               head.substr(0, 4096), "not an ELF file at all"};
  for (const std::string& bytes : cases) {
    const std::string path = folder.Put("cut", bytes);
    EXPECT_TRUE(ReadRunPath(path).empty()) << bytes.size();
  }
  EXPECT_TRUE(ReadRunPath(folder.Path() + "/missing").empty());
  EXPECT_TRUE(ReadRunPath(folder.Path()).empty());
}

}  // namespace
