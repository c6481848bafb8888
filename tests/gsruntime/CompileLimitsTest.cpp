// What a library can hold (gscompiler/bytecode/GSLibraryLimits.h), held by
// the compiler: for each limit a generated source just inside it compiles,
// loads and, where its frame fits a thread's stack, runs to the result the
// source gives through the highest number; one just past it is refused with
// a counted error that names the limit on the line that passes it, and no
// library is written.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "RuntimeTestSupport.h"
#include "gscompiler/bytecode/GSLibraryLimits.h"
#include "gsruntime/GSKindFlow.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSString.h"
#include "gsruntime/GSThread.h"

namespace {

using namespace GSRuntime;

static_assert(kMaxTrackedSlots == GSLibraryFormat::kGslMaxCheckedDepthSum,
              "the compiler holds functions to what the loader's kind check takes");

// The texts `item` makes of first, first + 1 ... in a row, each followed
// by `end`.
std::string Repeated(int first, int count, const std::function<std::string(int)>& item,
                     const char* end = "\n") {
  std::string text;
  for (int i = first; i < first + count; ++i) text += item(i) + end;
  return text;
}

// "class <name> isclass <bases> {" (no "isclass" without bases).
std::string ClassHead(const std::string& name, const std::string& bases) {
  return "class " + name + (bases.empty() ? "" : " isclass " + bases) + " {\n";
}

// "public int Run() { <body> }" on a line, when `body` is given.
std::string Run(const std::string& body) {
  return body.empty() ? "" : "  public int Run() { " + body + " }\n";
}

// A class of `count` one-line methods <prefix>0 ... answering a + i + add,
// then Run.
std::string MethodClass(const std::string& name, const std::string& bases, const char* prefix,
                        int count, int add, const std::string& run = "") {
  return ClassHead(name, bases) +
         Repeated(0, count,
                  [&](int i) {
                    return "  public int " + std::string(prefix) + std::to_string(i) +
                           "(int a) { return a + " + std::to_string(i + add) + "; }";
                  }) +
         Run(run) + "};\n";
}

// A class of `count` int members <prefix>0 ..., one a line, then Run.
std::string MemberClass(const std::string& name, const std::string& bases, const char* prefix,
                        int count, const std::string& run = "") {
  return ClassHead(name, bases) +
         Repeated(0, count,
                  [&](int i) {
                    return "  public int " + std::string(prefix) + std::to_string(i) + ";";
                  }) +
         Run(run) + "};\n";
}

// "class Main {" and F(int a1, ..., int a<count - 1>, int a0) on line 2.
std::string Parameters(int count) {
  return "class Main {\n  public int F(" +
         Repeated(
             1, count - 1, [](int i) { return "int a" + std::to_string(i); }, ",") +
         "int a0) { return a0; }\n";
}

// A source the case's source includes, compiled into a library of its own.
struct Include {
  std::string name;  // without ".gs"
  std::string source;
};

struct LimitCase {
  const char* name;
  std::function<std::string(bool past)> source;
  std::string refusal;  // the first log line of the source just past, as "t.gs"
  const char* run;      // what runs once the source just inside loaded (null: nothing)
  std::vector<GSValue> args;
  int32_t result;    // what it answers, an int ...
  const char* text;  // ... or this string (when not null)
  std::function<std::vector<Include>(bool past)> includes = nullptr;
};

// 65536 classes (65537 just past) in 64 included libraries: a library finds
// its classes by searching a list, so they are spread out to load fast.
constexpr int kClassLibraries = 64;
constexpr int kClassesPerLibrary = 1024;

std::vector<Include> ClassLibraries(bool past) {
  std::vector<Include> libraries;
  for (int k = 0; k < kClassLibraries; ++k) {
    const bool last = k + 1 == kClassLibraries;
    libraries.push_back(
        {"c" + std::to_string(k),
         Repeated(k * kClassesPerLibrary, kClassesPerLibrary + (past && last),
                  [](int i) { return "class C" + std::to_string(i) + " { public int v; };"; })});
  }
  return libraries;
}

// Main takes the references of C0 ... in order: Refer0 and Refer1 on lines
// 66 and 67 name all but the last class in their locals, Run on line 68
// the last.
std::string ClassReferences(bool past) {
  const int count = kClassLibraries * kClassesPerLibrary + past;
  const int half = count / 2;
  const auto local = [](int i) {
    const std::string n = std::to_string(i);
    return "C" + n + " a" + n + ";";
  };
  const std::string last = "C" + std::to_string(count - 1);
  return Repeated(0, kClassLibraries,
                  [](int k) { return "include \"c" + std::to_string(k) + ".gs\""; }) +
         "class Main {\n  void Refer0() { " + Repeated(0, half, local, " ") + "}\n" +
         "  void Refer1() { " + Repeated(half, count - 1 - half, local, " ") + "}\n" +
         "  public int Run() { " + last + " c = new " + last + "(); c.v = 6; return c.v; }\n};\n";
}

// C0 ... C1447 in a chain, one a line, take 1447 * 1448 / 2 base records,
// and Main on line 1449 takes 948 more (C947 and its 947 ancestors): the
// 1048576 a compile holds (949 just past). Run reaches C0's member and
// function through the whole chain.
std::string AncestorChain(bool past) {
  const int chain = 1448;
  return "class C0 { public int v; public int Get() { return v + 1; } };\n" +
         Repeated(1, chain - 1,
                  [](int i) {
                    return "class C" + std::to_string(i) + " isclass C" + std::to_string(i - 1) +
                           " { };";
                  }) +
         "class Main isclass C" + (past ? "948" : "947") +
         " {\n  public int Run() { C1447 c = new C1447(); c.v = 30; v = 100; return c.Get() + "
         "Get(); }\n};\n";
}

const std::string kMethods =
    "too many methods in class 'Main' (the limit is 32768, inherited ones included)";
const std::string kMembers =
    "too many members in class 'Main' (an object holds at most 32768 slots: 2 for each class part "
    "and 1 for each member, inherited ones included)";

std::vector<LimitCase> Cases() {
  return {
      // f<i> is method i, Run the last: 32767 just inside.
      {"MethodsOfOneClass",
       [](bool past) {
         return MethodClass("Main", "", "f", past ? 32768 : 32767, 0, "return f32766(1);");
       },
       "t.gs(32770) : " + kMethods,
       "$int@Main::Run()",
       {},
       32767,
       nullptr},
      // Main inherits 32768 methods (32769 just past); Caller calls B's
      // last, 16384 + 16383 in Main.
      {"MethodsOfTheBasesAlone",
       [](bool past) {
         return MethodClass("A", "", "f", 16384, 0) +
                MethodClass("B", "", "g", past ? 16385 : 16384, 100000) +
                "class Main isclass A, B {\n};\nclass Caller {\n  public int Run() { Main m = new "
                "Main(); return m.g16383(2); }\n};\n";
       },
       "t.gs(32774) : " + kMethods,
       "$int@Caller::Run()",
       {},
       116385,
       nullptr},
      // Slots 0 and 1 head the object: m32765 is slot 32767.
      {"MembersOfOneClass",
       [](bool past) {
         return MemberClass("Main", "", "m", past ? 32767 : 32766,
                            "m32765 = 9; m0 = 1; return m32765;");
       },
       "t.gs(32768) : " + kMembers,
       "$int@Main::Run()",
       {},
       9,
       nullptr},
      // Main's own part, A's (2 + 16381 slots) and B's (2 + 16381 or 16382):
      // b16380 is slot 32767 in Main.
      {"MembersOfTheBasesAlone",
       [](bool past) {
         return MemberClass("A", "", "a", 16381) + MemberClass("B", "", "b", past ? 16382 : 16381) +
                "class Main isclass A, B {\n  public int Run() { b16380 = 4; a0 = 1; return "
                "b16380; }\n};\n";
       },
       "t.gs(32768) : " + kMembers,
       "$int@Main::Run()",
       {},
       4,
       nullptr},
      {"Parameters",
       [](bool past) { return Parameters(past ? 32769 : 32768) + "};\n"; },
       "t.gs(2) : too many parameters in function 'F' (the limit is 32768)",
       nullptr,
       {},
       0,
       nullptr},
      // 65527 locals, and the temporary that the used value of an element's
      // ++ takes above them.
      {"LocalVariables",
       [](bool past) {
         return "class Main {\n  public int Run() {\n    int[] a = new int[1];\n" +
                Repeated(0, past ? 65526 : 65525,
                         [](int i) { return "    int l" + std::to_string(i) + ";"; }) +
                "    int x = a[0]++;\n    return x;\n  }\n};\n";
       },
       "t.gs(65530) : too many local variables in function 'Run' (the limit is 65527, parameters "
       "included)",
       nullptr,
       {},
       0,
       nullptr},
      {"StringsOfTheCode",
       [](bool past) {
         return "class Main {\n  public string Run() {\n    string s;\n" +
                Repeated(0, past ? 65537 : 65536,
                         [](int i) { return "    s = \"k" + std::to_string(i) + "\";"; }) +
                "    return s;\n  }\n};\n";
       },
       "t.gs(65540) : too many different strings in the code of one library (the limit is 65536)",
       "$string@Main::Run()",
       {},
       0,
       "k65535"},
      {"ClassesTheCodeNames",
       ClassReferences,
       "t.gs(68) : too many classes referred to in one library for its code to name class "
       "'C65536' (the limit is 65536)",
       "$int@Main::Run()",
       {},
       6,
       nullptr,
       ClassLibraries},
      {"CasesOfASwitch",
       [](bool past) {
         return "class Main {\n  public int Run(int v) {\n    int r = 0;\n    switch (v) {\n" +
                Repeated(0, past ? 65536 : 65535,
                         [](int i) {
                           const std::string n = std::to_string(i);
                           return "      case " + n + ": r = " + n + "; break;";
                         }) +
                "      default: r = -1;\n    }\n    return r;\n  }\n};\n";
       },
       "t.gs(65542) : too many cases in switch (the limit is 65535)",
       "$int@Main::Run(int)",
       {GSFromInt(65534)},
       65534,
       nullptr},
      {"LabelsOfAWait",
       [](bool past) {
         return "class Main {\n  public void Run() {\n    wait() {\n" +
                Repeated(0, past ? 65536 : 65535,
                         [](int i) {
                           return "      on \"M\", \"" + std::to_string(i % 7) + "\": break;";
                         }) +
                "    }\n  }\n};\n";
       },
       "t.gs(65540) : too many on labels in wait (the limit is 65535)",
       nullptr,
       {},
       0,
       nullptr},
      {"AncestorsOfAllClasses",
       AncestorChain,
       "t.gs(1449) : too many ancestors in one compile for class 'Main' (the limit is 1048576: "
       "each class counts every class it inherits from, directly or not)",
       "$int@Main::Run()",
       {},
       132,
       nullptr},
      // A call of n arguments sums the depths 1 ... n + 1, and 1 after it:
      // 5791 arguments come to 16776529; each "x = 1;" adds 1, so 687 of
      // them make 2^24, the most the loader checks.
      {"OperandStackSummedOverAFunction",
       [](bool past) {
         const int count = 5791;
         return Parameters(count) + "  public int Run() { int x; " +
                Repeated(
                    0, past ? 688 : 687, [](int) { return "x = 1;"; }, " ") +
                "return F(" +
                Repeated(
                    1, count - 1, [](int) { return "0"; }, ",") +
                "0); }\n};\n";
       },
       "t.gs(3) : function 'Run' is too large to load (its operand-stack depths, summed over its "
       "instructions, pass the limit of 16777216)",
       nullptr,
       {},
       0,
       nullptr},
  };
}

class CompileLimits : public GSTest::ScriptObjectFixture,
                      public ::testing::WithParamInterface<LimitCase> {};

TEST_P(CompileLimits, JustInsideLoadsAndJustPastIsRefused) {
  const LimitCase& c = GetParam();
  const auto includes = [&](bool past) {
    return c.includes ? c.includes(past) : std::vector<Include>{};
  };
  for (const Include& include : includes(false)) {
    Build(include.source, include.name);
    Announce(include.name + ".gsl");
  }
  // The class of the function that runs ("$int@Caller::Run()"), else Main.
  const std::string run = c.run != nullptr ? c.run : "@Main::";
  const size_t at = run.find('@') + 1;
  BuildObject(c.source(false), "inside", run.substr(at, run.find("::") - at).c_str());
  if (HasFatalFailure()) return;
  if (c.run != nullptr) {
    const GSFunction* fn = cls_->FindOwnFunction(c.run);
    ASSERT_NE(fn, nullptr) << c.run;
    GSValue result = 0;
    ASSERT_EQ(GSRunFunction(*machine_->Thread(), *fn, object_.GetScriptInstance(), c.args, &result),
              ER_Done);
    if (c.text != nullptr) {
      EXPECT_EQ(GSString::FromRef(result)->text, c.text);
      GSObjectReference::Release(result);
    } else {
      EXPECT_EQ(GSInt(result), c.result);
    }
  }

  for (const Include& include : includes(true)) Write(include.name + ".gs", include.source);
  const GSTest::CompiledUnit past = Compile(c.source(true));
  EXPECT_NE(past.result, 0);
  ASSERT_FALSE(past.log.empty());
  EXPECT_EQ(past.log.front(), c.refusal);
  EXPECT_TRUE(past.bytes.empty());
  EXPECT_FALSE(Exists("t.gsl"));
}

INSTANTIATE_TEST_SUITE_P(Limits, CompileLimits, ::testing::ValuesIn(Cases()),
                         [](const auto& limit) { return std::string(limit.param.name); });

}  // namespace
