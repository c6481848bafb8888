// The code generator, checked through the disassembly of written libraries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GslCompileSupport.h"

namespace {

using GSTest::CompiledUnit;
using Ops = std::vector<std::string>;

class CodeGenerator : public GSTest::CompileFixture {};

std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

}  // namespace

TEST_F(CodeGenerator, IncrementStatementsDropOrConsumeTheirValue) {
  const CompiledUnit u =
      Compile("class A {\n  void F() {\n    int x;\n    x++;\n    ++x;\n  }\n};\n");
  ASSERT_EQ(u.result, 0) << Joined(u.log);
  ASSERT_TRUE(u.readable) << u.readError;
  EXPECT_EQ(u.Listing("$void@A::F()"), (Ops{"0 LOAD 1", "3 DUP", "4 IINC", "5 STORE 1", "8 POP",
                                            "9 LOAD 1", "12 IINC", "13 STORE 1", "16 RET"}));
}

TEST_F(CodeGenerator, StringConditionTestsForNull) {
  const CompiledUnit u =
      Compile("class A {\n  int F(string s) {\n    if (s) return 1;\n    return 0;\n  }\n};\n");
  ASSERT_EQ(u.result, 0) << Joined(u.log);
  EXPECT_EQ(u.Listing("$int@A::F(string)"), (Ops{"0 LOADREF 1", "3 NOTNULL", "4 JZ -> 15",
                                                 "9 PUSHI 1", "14 RETV", "15 PUSHI 0", "20 RETV"}));
}

TEST_F(CodeGenerator, StringAssignmentCopiesOnlyLValues) {
  const CompiledUnit u = Compile(
      "class A {\n  void F(string a, string b, string c) {\n    a = b;\n    a = b + c;\n    a = "
      "\"k\";\n  }\n};\n");
  ASSERT_EQ(u.result, 0) << Joined(u.log);
  EXPECT_EQ(u.Ops("$void@A::F(string,string,string)"),
            (Ops{"LOADREF", "SCOPY", "STOREREF", "LOADREF", "LOADREF", "SCAT", "STOREREF",
                 "PUSHSTR", "STOREREF", "RET"}));
}

TEST_F(CodeGenerator, SwitchTableIsSortedByCaseValue) {
  const CompiledUnit u = Compile(
      "class A {\n  int F(int v) {\n    switch (v) {\n      case 3: return 30;\n      case 1: "
      "return 10;\n"
      "      case 2: return 20;\n      default: return 0;\n    }\n    return -1;\n  }\n};\n");
  ASSERT_EQ(u.result, 0) << Joined(u.log);
  const Ops listing = u.Listing("$int@A::F(int)");
  ASSERT_GE(listing.size(), 2u);
  // LOAD v at 0, SWITCH at 3 (7 + 24 bytes): case 3 at 34, case 1 at 40,
  // case 2 at 46, default at 52.
  EXPECT_EQ(listing[1], "3 SWITCH 3 1->40 2->46 3->34 default->52");
}

TEST_F(CodeGenerator, ForWithoutConditionPushesTrue) {
  const CompiledUnit u = Compile("class A {\n  void F() {\n    for (;;) { break; }\n  }\n};\n");
  ASSERT_EQ(u.result, 0) << Joined(u.log);
  EXPECT_EQ(u.Listing("$void@A::F()"),
            (Ops{"0 PUSH1", "1 JZ -> 16", "6 JMP -> 16", "11 JMP -> 0", "16 RET"}));
}

// Every line the generator writes names the file and the line of the
// construct at fault, and a unit with such a line writes no library.
TEST_F(CodeGenerator, ErrorsNameTheSourceLine) {
  const struct {
    const char* source;
    const char* line;
  } cases[] = {
      {"class A {\n  void Foo();\n};\n", "t.gs(2) : Function ::Foo() not implemented"},
      {"class A {\n  native void Foo() {\n  }\n};\n",
       "t.gs(2) : Native function ::Foo() has been implemented"},
      {"class A {\n  int F(int v) {\n    switch (v) {\n      case 1: return 1;\n      case 1: "
       "return 2;\n      default: return 0;\n    }\n    return 0;\n  }\n};\n",
       "t.gs(5) : case has duplicate value, line 5"},
      {"class A {\n  void F() {\n    goto nowhere;\n  }\n};\n",
       "t.gs(3) : no matching label, line 3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const CompiledUnit u = Compile(c.source);
    EXPECT_EQ(u.result, 1);
    EXPECT_TRUE(u.bytes.empty());
    ASSERT_FALSE(u.log.empty());
    EXPECT_EQ(u.log[0], c.line) << Joined(u.log);
  }
}

TEST_F(CodeGenerator, PostIncrementOfAMemberWhoseValueIsUsedTakesATemporary) {
  const CompiledUnit u = Compile(
      "class B { public int m; };\nclass A {\n  int F(B o) {\n    int x;\n    x = o.m++;\n    "
      "return x;\n  }\n};\n");
  ASSERT_EQ(u.result, 0) << Joined(u.log);
  EXPECT_EQ(u.Ops("$int@A::F(B)"), (Ops{"LOADREF", "DUPREF", "GETM", "STOREKEEP", "IINC", "SETM",
                                        "LOAD", "STORE", "LOAD", "RETV"}));
  const GSLibraryFormat::GslFunction* f = u.library.FindFunction("$int@A::F(B)");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->temps, 1u);
  EXPECT_EQ(u.Listing("$int@A::F(B)")[3], "7 STOREKEEP 3")
      << "the temporary follows P = 2 and L = 1";
}

TEST_F(CodeGenerator, VoidLoopConditionUnbalancesTheStackAndNoLibraryIsWritten) {
  const CompiledUnit u =
      Compile("class A {\n  void G() { }\n  void F() {\n    for (; G(); ) { }\n  }\n};\n");
  EXPECT_EQ(u.result, 1);
  EXPECT_TRUE(u.bytes.empty());
  EXPECT_EQ(u.log, (std::vector<std::string>{"Internal Compiler Error.\n"}));
}
