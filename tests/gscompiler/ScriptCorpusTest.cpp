// Runs every script of the scripts/ folder through the parser, every
// script of the semantic/ folder through the parser and the semantic checks,
// and compiles every script of codegen/ to a library; compares the messages
// with the "// expect: " lines written inside the script, in order. A
// script without such lines must pass cleanly (and write a library). In
// codegen/, "// listing SIGNATURE: LINE" lines give the whole disassembly of
// a function. Each script is a test of its own, named after its file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "GslCompileSupport.h"
#include "ParseTestSupport.h"
#include "SemanticTestSupport.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Scripts(const char* folder) {
  std::vector<std::string> names;
  for (const auto& entry :
       fs::directory_iterator(fs::path(VU_SOURCE_DIR) / "tests/gscompiler" / folder))
    if (entry.path().extension() == ".gs") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct Script {
  std::string name;  // with ".gs"
  std::string source;
  std::vector<std::string> expected;
  std::map<std::string, std::vector<std::string>> listings;  // by signature
};

Script Load(const char* folder, const std::string& stem) {
  Script script{stem + ".gs", "", {}, {}};
  std::ifstream in(fs::path(VU_SOURCE_DIR) / "tests/gscompiler" / folder / script.name,
                   std::ios::binary);
  script.source.assign(std::istreambuf_iterator<char>(in), {});
  static const std::string marker = "// expect: ", listing = "// listing ";
  std::istringstream lines(script.source);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t at = line.find(marker);
    if (at != std::string::npos) script.expected.push_back(line.substr(at + marker.size()));
    if (line.rfind(listing, 0) != 0) continue;
    const size_t colon = line.find(": ");
    script.listings[line.substr(listing.size(), colon - listing.size())].push_back(
        line.substr(colon + 2));
  }
  return script;
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
  return info.param;
}

class ParserScript : public ::testing::TestWithParam<std::string> {};
class SemanticScript : public ::testing::TestWithParam<std::string> {};
class CodegenScript : public GSTest::CompileFixture,
                      public ::testing::WithParamInterface<std::string> {};

}  // namespace

TEST_P(ParserScript, GivesExactlyItsExpectedMessages) {
  const Script script = Load("scripts", GetParam());
  GSCompiler::ParseArena arena;
  const GSTest::Parsed parsed = GSTest::Parse(arena, script.source, script.name.c_str());
  EXPECT_EQ(parsed.log, script.expected);
  EXPECT_EQ(parsed.errors, script.expected.size());
  EXPECT_EQ(parsed.result.status == 0, script.expected.empty());
  EXPECT_EQ(parsed.result.root != nullptr, script.expected.empty());
}

TEST_P(SemanticScript, GivesExactlyItsExpectedMessages) {
  const Script script = Load("semantic", GetParam());
  GSCompiler::ParseArena arena;
  const GSTest::Checked checked = GSTest::Check(arena, script.source, script.name.c_str());
  ASSERT_NE(checked.root, nullptr) << "the script does not parse";
  EXPECT_EQ(checked.log, script.expected);
  EXPECT_EQ(checked.errors, script.expected.size());
  EXPECT_EQ(checked.passed, script.expected.empty());
}

TEST_P(CodegenScript, GivesExactlyItsExpectedCode) {
  const Script script = Load("codegen", GetParam());
  const GSTest::CompiledUnit unit = Compile(script.source, script.name);
  std::vector<std::string> log;  // without the line ends around some messages
  for (const std::string& line : unit.log) {
    const size_t start = line.find_first_not_of('\n');
    if (start != std::string::npos)
      log.push_back(line.substr(start, line.find_last_not_of('\n') + 1 - start));
  }
  EXPECT_EQ(log, script.expected);
  EXPECT_EQ(unit.result, script.expected.empty() ? 0 : 1);
  EXPECT_EQ(unit.readable, script.expected.empty()) << unit.readError;
  for (const auto& [signature, listing] : script.listings)
    EXPECT_EQ(unit.Listing(signature), listing) << signature;
}

INSTANTIATE_TEST_SUITE_P(Corpus, ParserScript, ::testing::ValuesIn(Scripts("scripts")), TestName);
INSTANTIATE_TEST_SUITE_P(Corpus, SemanticScript, ::testing::ValuesIn(Scripts("semantic")),
                         TestName);
INSTANTIATE_TEST_SUITE_P(Corpus, CodegenScript, ::testing::ValuesIn(Scripts("codegen")), TestName);
