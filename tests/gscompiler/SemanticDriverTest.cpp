// The semantic pass behind the driver: includes are checked in
// declarations-only mode into the unit's table, and each compile starts
// from an empty table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GslCompileSupport.h"
#include "gscompiler/CompileUnit.h"
#include "gscompiler/GSSemanticPass.h"
#include "gscompiler/IncludePathList.h"

namespace {

bool NoCode(CompileUnit&) {
  return true;
}

class GSSemanticDriver : public GSTest::WorkingFolderTest {
 protected:
  void SetUp() override {
    WorkingFolderTest::SetUp();
    previous_ = GSCompilerGetBackEnd();
    GSCompilerSetBackEnd(&backEnd_);
    PathListClear(GSCompilerIncludePaths());
    GSCompilerAddIncludePath(".");
  }
  void TearDown() override {
    GSCompilerSetBackEnd(previous_);
    PathListClear(GSCompilerIncludePaths());
    WorkingFolderTest::TearDown();
  }

  std::vector<std::string> Compile(const char* name, uint32_t& errors) {
    CompileLog log;
    CompileUnit unit;
    errors = GSCompileUnit(unit, name, &log);
    std::vector<std::string> lines;
    for (const char* l = log.TakeLine(); l != nullptr; l = log.TakeLine()) lines.emplace_back(l);
    return lines;
  }

  GSCompilerBackEnd backEnd_{GSSemanticCheckSource, NoCode, nullptr};
  const GSCompilerBackEnd* previous_ = nullptr;
};

TEST_F(GSSemanticDriver, IncludedBodiesAreSkippedAndTheTopIsChecked) {
  Write("lib.gs", "class Lib { public define int N = 3; void F() { undeclared = 1; } };\n");
  Write("top.gs", "include \"lib.gs\"\nclass Top { void G() { int n = Lib.N; m = n; } };\n");
  uint32_t errors = 0;
  const std::vector<std::string> log = Compile("top.gs", errors);
  const std::vector<std::string> expected = {"top.gs(2) : variable m not declared, line 2.",
                                             "top.gs(2) : cannot cast from int to , line 2.",
                                             ".. while compiling 'top.gs'"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(errors, 2u);
  EXPECT_NE(GSUnitSymbolTable().FindDependent("lib.gs"), nullptr);
}

TEST_F(GSSemanticDriver, EachCompileStartsWithAnEmptyTable) {
  Write("a.gs", "class A { void F() { } };\n");
  uint32_t errors = 1;
  EXPECT_TRUE(Compile("a.gs", errors).empty());
  EXPECT_EQ(errors, 0u);
  EXPECT_TRUE(Compile("a.gs", errors).empty()) << "class A declared twice across compiles";
  EXPECT_EQ(errors, 0u);
  Write("b.gs", "include \"a.gs\"\nclass B isclass A { };\n");
  EXPECT_TRUE(Compile("b.gs", errors).empty());
  EXPECT_EQ(errors, 0u);
}

TEST_F(GSSemanticDriver, IdsCountWhatTheTopSourceRefersTo) {
  Write("lib.gs", "class One { }; class Two { };\n");
  Write("top.gs", "include \"lib.gs\"\nclass Top { Two t; };\n");
  uint32_t errors = 1;
  EXPECT_TRUE(Compile("top.gs", errors).empty());
  GSCompiler::GSSymbol* two = GSUnitSymbolTable().Lookup("Two", nullptr, false, false);
  GSCompiler::GSSymbol* one = GSUnitSymbolTable().Lookup("One", nullptr, false, false);
  ASSERT_TRUE(two && one);
  EXPECT_EQ(two->id, 0) << "the top's first reference";
  EXPECT_EQ(one->id, 1) << "numbered only by this test's lookup";
}

}  // namespace
