// The bounds of one compile: a bounded job's deadline stops the compiler in
// each of its stages without writing a library, and a source beyond the
// size a source may hold is refused with a message saying so.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "GslCompileSupport.h"
#include "foundation/threads/JobDeadline.h"
#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/CompileLog.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/IncludePathList.h"
#include "gscompiler/ScriptFile.h"

namespace {

using GSTest::CompileFixture;
using GSTest::CompiledUnit;

std::string Lines(const CompiledUnit& unit) {
  std::string all;
  for (const std::string& line : unit.log) all += line + "\n";
  return all;
}

class CompileBounds : public CompileFixture {};

// Sources that reach each place the deadline is polled: only the last
// check before code generation, the walk of the semantic pass (past 4,096
// steps) and the scanner (past 4,096 tokens).
TEST_F(CompileBounds, CompileOutOfTimeStopsInEveryStageAndWritesNothing) {
  auto statements = [](int n) {
    std::string s = "class A\n{\n  public int F(int n)\n  {\n    int a = 0;\n";
    for (int i = 0; i < n; ++i) s += "    a = a + n;\n";
    return s + "    return a;\n  }\n};\n";
  };
  const std::string stopped = GSCompiler::kCompileStoppedText;
  const struct {
    const char* name;
    std::string source;
    std::string line;  // the stop's line in the log
  } cases[] = {
      {"small", "class A\n{\n  public int F() { return 1; }\n};\n", stopped},
      {"many tree nodes, few tokens", statements(500), stopped},
      {"many tokens", statements(1500), "t.gs(685) : " + stopped + ", line 685"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CompiledUnit free = Compile(c.source);
    ASSERT_EQ(free.result, 0) << Lines(free);
    ASSERT_FALSE(free.bytes.empty());
    std::filesystem::remove("t.gsl");

    CompiledUnit late;
    {
      JobDeadlineScope deadline(std::chrono::milliseconds(0));
      late = Compile(c.source);
      EXPECT_TRUE(deadline.Stopped());
    }
    EXPECT_NE(late.result, 0);
    ASSERT_FALSE(late.log.empty());
    EXPECT_EQ(late.log.front(), c.line) << Lines(late);
    EXPECT_TRUE(late.bytes.empty()) << "a stopped compile writes no library";
    EXPECT_FALSE(Exists("t.gsl"));
    EXPECT_FALSE(JobDeadlinePassed()) << "the deadline ends with its scope";
  }
}

TEST_F(CompileBounds, SourceBeyondTheLimitIsRefusedWithItsSize) {
  {
    std::ofstream("big.gs", std::ios::binary) << "class A {};\n";
  }
  std::filesystem::resize_file("big.gs", uint64_t{ScriptFile::kMaxTextSize} + 1);
  CompileLog log;
  GSCompilerAddIncludePath(root_.string());
  EXPECT_EQ(GSCompileToLibrary("big.gs", "big.gsl", &log), 1);
  const char* first = log.TakeLine();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(std::string(first),
            "big.gs is larger than 67108864 bytes, the most a source may hold.");
  for (const char* line = log.TakeLine(); line != nullptr; line = log.TakeLine())
    EXPECT_EQ(std::string(line).find("Could not read"), std::string::npos) << line;
  EXPECT_FALSE(Exists("big.gsl"));
}

}  // namespace

// A long class is generated function by function, each function's nodes
// freed once it is done: every function must still come out as if the
// whole tree were there (a build with the address sanitizer also reports a
// node read after its block was freed).
TEST_F(CompileBounds, FunctionsOfALongClassComeOutAlikeWhileEarlierOnesAreFreed) {
  constexpr int kFunctions = 2000;  // some hundred node blocks
  std::string source = "class A\n{\n  public int F0(int n) { return n; }\n";
  for (int i = 1; i <= kFunctions; ++i) {
    const std::string n = std::to_string(i);
    source += "  public int F" + n + "(int n)\n  {\n    int a = 0;\n" +
              "    while (n > 0) { if (n == 7) break; n--; a = a + F" + std::to_string(i - 1) +
              "(n); }\n    switch (a) { case 1: a = 2; break; default: a = 3; }\n" +
              "    string s = \"t" + n + "\";\n    if (s == \"x\") a = 1;\n    return a;\n  }\n";
  }
  source += "};\n";
  const GSTest::CompiledUnit unit = Compile(source);
  ASSERT_EQ(unit.result, 0) << (unit.log.empty() ? "" : unit.log.front());
  ASSERT_TRUE(unit.readable) << unit.readError;
  const std::vector<std::string> first = unit.Ops("$int@A::F1(int)");
  ASSERT_FALSE(first.empty());
  for (int i : {2, kFunctions / 2, kFunctions - 1, kFunctions})
    EXPECT_EQ(unit.Ops("$int@A::F" + std::to_string(i) + "(int)"), first) << "F" << i;
}
