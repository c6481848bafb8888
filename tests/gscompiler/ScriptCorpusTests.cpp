// Runs every script of the scripts/ folder through the parser, and every
// script of the semantic/ folder through the parser and the semantic checks,
// and compares the messages with the "// expect: " lines written inside the
// script, in order. A script without such lines must pass cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ParseTestSupport.h"
#include "SemanticTestSupport.h"

namespace {

namespace fs = std::filesystem;

fs::path ScriptFolder(const char* folder = "scripts") {
  return fs::path(__FILE__).parent_path() / folder;
}

std::vector<fs::path> Scripts(const char* folder = "scripts") {
  std::vector<fs::path> paths;
  for (const fs::directory_entry& entry : fs::directory_iterator(ScriptFolder(folder))) {
    if (entry.path().extension() == ".gs") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string ReadAll(const fs::path& path) {
  std::string bytes(static_cast<size_t>(fs::file_size(path)), '\0');
  std::ifstream in(path, std::ios::binary);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::vector<std::string> ExpectedMessages(const std::string& source) {
  static const std::string marker = "// expect: ";
  std::vector<std::string> expected;
  std::istringstream lines(source);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t at = line.find(marker);
    if (at != std::string::npos) expected.push_back(line.substr(at + marker.size()));
  }
  return expected;
}

}  // namespace

TEST(GSScriptCorpus, EveryScriptGivesExactlyItsExpectedMessages) {
  const std::vector<fs::path> scripts = Scripts();
  ASSERT_GE(scripts.size(), 10u) << "scripts not found in " << ScriptFolder();
  for (const fs::path& path : scripts) {
    SCOPED_TRACE(path.filename().string());
    const std::string source = ReadAll(path);
    const std::vector<std::string> expected = ExpectedMessages(source);
    GSCompiler::ParseArena arena;
    const std::string name = path.filename().string();
    GSTest::Parsed parsed = GSTest::Parse(arena, source, name.c_str());
    EXPECT_EQ(parsed.log, expected);
    EXPECT_EQ(parsed.errors, expected.size());
    EXPECT_EQ(parsed.result.status == 0, expected.empty());
    EXPECT_EQ(parsed.result.root != nullptr, expected.empty());
  }
}

TEST(GSScriptCorpus, EverySemanticScriptGivesExactlyItsExpectedMessages) {
  const std::vector<fs::path> scripts = Scripts("semantic");
  ASSERT_GE(scripts.size(), 10u) << "scripts not found in " << ScriptFolder("semantic");
  for (const fs::path& path : scripts) {
    SCOPED_TRACE(path.filename().string());
    const std::string source = ReadAll(path);
    const std::vector<std::string> expected = ExpectedMessages(source);
    GSCompiler::ParseArena arena;
    const std::string name = path.filename().string();
    GSTest::Checked checked = GSTest::Check(arena, source, name.c_str());
    ASSERT_NE(checked.root, nullptr) << "the script does not parse";
    EXPECT_EQ(checked.log, expected);
    EXPECT_EQ(checked.errors, expected.size());
    EXPECT_EQ(checked.passed, expected.empty());
  }
}
