// The compiler driver: the command line, the compile log, the search for
// sources and includes, and the hand-over to the back end.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "GslCompileSupport.h"
#include "gscompiler/CompileUnit.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/ParseNode.h"
#include "gscompiler/ScriptFile.h"

namespace {

using GSTest::WorkingFolderTest;

// The usage text gsc prints: tests/gscompiler/driver/usage.txt.
const std::string kUsage = [] {
  std::ifstream in(VU_SOURCE_DIR "/tests/gscompiler/driver/usage.txt", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}();

const char kGood[] = "class A {\n  int x;\n};\n";
const char kNoCodeGeneration[] = "\nInternal Code Generation Error...\n";

struct MainRun {
  int result;
  std::string out;
};

MainRun Main(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  testing::internal::CaptureStdout();
  const int result = GSCompilerMain(int(argv.size()), argv.data());
  return MainRun{result, testing::internal::GetCapturedStdout()};
}

std::vector<std::string> Drain(CompileLog& log) {
  std::vector<std::string> lines;
  for (const char* l = log.TakeLine(); l != nullptr; l = log.TakeLine()) lines.emplace_back(l);
  return lines;
}

// A stand-in back end that records what the driver hands it and produces a
// small "library".
struct FakeBackEnd {
  static inline std::vector<std::string> checked;
  static inline bool failWriter = false;
  static inline bool overflowWriter = false;
  // The resident limit of freed parse-node blocks while code is generated.
  static inline size_t residentLimit = 0;

  static uint32_t Check(CompileUnit&, CompileContext& context, const SourceDependency& source,
                        bool isTop) {
    checked.push_back(source.name + "#" + std::to_string(source.index) + (isTop ? "T" : "") +
                      (context.fileName ? "" : "?"));
    return context.errorCount;
  }
  static bool Generate(CompileUnit&) {
    residentLimit = GSCompiler::ParseNodeBlocks::SetResidentLimit(0);
    GSCompiler::ParseNodeBlocks::SetResidentLimit(residentLimit);
    return true;
  }
  static bool Write(CompileUnit& unit, ByteBuffer& out) {
    if (overflowWriter) out.errors |= ByteBuffer::kGrowthFailed;
    out.WriteU32(unit.dependencies.front().textCrc);
    return !failWriter;
  }
};

class DriverTest : public WorkingFolderTest {
 protected:
  // The tests run without a back end unless they install the stand-in; the
  // back end found before is put back afterwards.
  void SetUp() override {
    WorkingFolderTest::SetUp();
    previousBackEnd_ = GSCompilerGetBackEnd();
    GSCompilerSetBackEnd(nullptr);
    PathListClear(GSCompilerIncludePaths());
  }
  void TearDown() override {
    GSCompilerSetBackEnd(previousBackEnd_);
    PathListClear(GSCompilerIncludePaths());
    WorkingFolderTest::TearDown();
  }
  void InstallBackEnd() {
    static const GSCompilerBackEnd backEnd{&FakeBackEnd::Check, &FakeBackEnd::Generate,
                                           &FakeBackEnd::Write};
    FakeBackEnd::checked.clear();
    FakeBackEnd::failWriter = FakeBackEnd::overflowWriter = false;
    GSCompilerSetBackEnd(&backEnd);
  }

 private:
  const GSCompilerBackEnd* previousBackEnd_ = nullptr;
};

TEST_F(DriverTest, WithoutSourcePrintsUsageAndReturnsOne) {
  EXPECT_EQ(Main({"/usr/local/bin/gsc"}).out, kUsage);
  EXPECT_EQ(Main({"/usr/local/bin/gsc"}).result, 1);
  EXPECT_EQ(Main({"C:\\tools\\gsc"}).out, kUsage);
  // An emptied word, switches only, or an empty last source: still usage,
  // and the build log is opened (and stays empty).
  const MainRun run = Main({"gsc", "", "-bbuild.txt", "-s", "-o", "-"});
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.out, kUsage);
  EXPECT_TRUE(Exists("build.txt"));
  EXPECT_EQ(Read("build.txt"), "");
}

TEST_F(DriverTest, DocumentationSwitchPrintsAndCompilesNothing) {
  const std::string documentation = std::string(GSCompilerDocumentation()) + "\n";
  for (const auto& words : {std::vector<std::string>{"gsc", "-d", "missing.gs"},
                            std::vector<std::string>{"gsc", "missing.gs", "-dX", "-bbuild.txt"}}) {
    const MainRun run = Main(words);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.out, documentation);
  }
  EXPECT_FALSE(Exists("build.txt"));  // later arguments are not looked at
  const std::string text = GSCompilerDocumentation();
  for (const char* chapter :
       {"1.0 ", "2.1 ", "2.2 ", "2.3 ", "2.4 ", "2.5 ", "2.6 ", "2.7 ", "2.8 ", "2.9 ", "2.10 ",
        "3.0 ", "3.1 ", "4.0 ", "5.0 ", "6.0 ", "6.1 ", "6.2 ", "7.0 ", "8.0 ", "9.0 "}) {
    EXPECT_NE(text.find(std::string("\n") + chapter), std::string::npos) << chapter;
  }
}

TEST_F(DriverTest, MissingSourceGivesReadErrorAndUnitName) {
  MainRun run = Main({"gsc", "nofile.gs"});
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.out, "Could not read file (null) : nofile.gs.\n.. while compiling 'nofile.gs'\n");
  // The file part of the message is the lower-cased name; the unit line
  // keeps the name as given.
  run = Main({"gsc", "first.gs", "sub/NoFile.GS"});
  EXPECT_EQ(run.out, "Could not read file (null) : nofile.gs.\n.. while compiling 'NoFile.GS'\n");
}

TEST_F(DriverTest, SilentAndBuildLogSwitches) {
  EXPECT_EQ(
      Main({"gsc", "-sXYZ", "-bbuild.txt", "-ccc", "-tt", "-l", "-oother.gsl", "nofile.gs"}).out,
      "");
  EXPECT_EQ(Main({"gsc", "-s", "-bbuild.txt", "nofile.gs"}).result, 1);
  const std::string once =
      "Could not read file (null) : nofile.gs.\n.. while compiling 'nofile.gs'\n";
  EXPECT_EQ(Read("build.txt"), once + once);  // runs append
}

TEST_F(DriverTest, SourceFoundOnlyAsGseParsesAsTheGsWould) {
  const std::string source = "class A {\n  int x\n};\n";  // parse error on line 3
  Write("a.gs", source);
  const MainRun plain = Main({"gsc", "a.gs"});
  EXPECT_EQ(plain.result, 1);
  EXPECT_EQ(plain.out, "a.gs(3) : parse error, line 3\n.. while compiling 'a.gs'\n");

  ScriptFile file;
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("a.gs")));
  ASSERT_TRUE(file.Save(nullptr, Kiv::File::Path("a.gse")));
  std::filesystem::remove("a.gs");
  EXPECT_EQ(Main({"gsc", "a.gs"}).out, plain.out);
  // A ".gse" unit name compiles under the ".gs" name; the last line names
  // the unit as given.
  EXPECT_EQ(Main({"gsc", "a.gse"}).out,
            "a.gs(3) : parse error, line 3\n.. while compiling 'a.gse'\n");

  // A source that parses goes on to code generation, which this build
  // does not have yet.
  Write("b.gs", kGood);
  const MainRun good = Main({"gsc", "b.gs"});
  ASSERT_TRUE(file.Load(nullptr, Kiv::File::Path("b.gs")));
  ASSERT_TRUE(file.Save(nullptr, Kiv::File::Path("c.gse")));
  const MainRun encoded = Main({"gsc", "c.gs"});
  EXPECT_EQ(good.result, 1);
  EXPECT_EQ(good.out, kNoCodeGeneration);
  EXPECT_EQ(encoded.result, 1);
  EXPECT_EQ(encoded.out, kNoCodeGeneration);
  EXPECT_EQ(Listing(), "a.gse b.gs c.gse");
}

TEST_F(DriverTest, Utf8ByteOrderMarkIsRefused) {
  Write("bom.gs", std::string("\xEF\xBB\xBF") + kGood);
  const MainRun run = Main({"gsc", "bom.gs"});
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.out,
            "'bom.gs' appears to be UTF-8 encoded, please resave as ANSI.\n"
            ".. while compiling 'bom.gs'\n");
  // Two of the three bytes are an ordinary (illegal) character.
  Write("two.gs", std::string("\xEF\xBB") + kGood);
  EXPECT_EQ(Main({"gsc", "two.gs"}).out,
            "two.gs(1) : parse error, line 1\n.. while compiling 'two.gs'\n");
}

TEST_F(DriverTest, IncludesAreSearchedConfinedAndReadOnce) {
  InstallBackEnd();
  Write("src/top.gs", "include \"b.gs\"\ninclude \"lib\\c.gs\"\n" + std::string(kGood));
  Write("src/b.gs", "include \"lib/c.gs\"\ninclude \"top.gs\"\nclass B { };\n");
  Write("inc/lib/C.gs", "class C { };\n");
  const MainRun run = Main({"gsc", "-iinc", "src/top.gs"});
  EXPECT_EQ(run.result, 0) << run.out;
  EXPECT_EQ(run.out, "");
  // Depth first in include order, each file once; the includes are checked
  // before the source that includes them.
  EXPECT_EQ(FakeBackEnd::checked, (std::vector<std::string>{"c.gs#2", "b.gs#1", "top.gs#0T"}));
  EXPECT_TRUE(Exists("src/top.gsl"));

  // An include that would leave the include folders is not searched.
  Write("secret.gs", "class S { };\n");
  Write("src/bad.gs", "include \"../secret.gs\"\n" + std::string(kGood));
  Write("src/abs.gs", "include \"" + temp_.At("secret.gs") + "\"\n" + kGood);
  const MainRun bad = Main({"gsc", "src/bad.gs"});
  EXPECT_EQ(bad.out,
            "Could not read file (null) : ../secret.gs.\n.. while compiling '../secret.gs'\n"
            ".. while compiling 'bad.gs'\n");
  EXPECT_EQ(Main({"gsc", "src/abs.gs"}).result, 1);
  EXPECT_FALSE(Exists("src/bad.gsl"));
}

TEST_F(DriverTest, LibraryIsWrittenOnlyWhenEverythingSucceeded) {
  InstallBackEnd();
  Write("a.gs", kGood);
  std::filesystem::create_directory("out");
  EXPECT_EQ(Main({"gsc", "-pout/", "a.gs"}).result, 0);
  EXPECT_EQ(Read("out/a.gsl").size(), 4u);
  EXPECT_EQ(Listing("out"), "a.gsl");

  Write("out/a.gsl", "kept");
  Write("a.gs", "class A {");
  EXPECT_EQ(Main({"gsc", "-pout/", "a.gs"}).result, 1);
  EXPECT_EQ(Read("out/a.gsl"), "kept");  // errors: nothing written

  Write("a.gs", kGood);
  FakeBackEnd::failWriter = true;
  EXPECT_EQ(Main({"gsc", "-pout/", "a.gs"}).out, "Internal Compiler Error.\n\n");
  FakeBackEnd::failWriter = false;
  FakeBackEnd::overflowWriter = true;  // a writer whose buffer could not grow
  EXPECT_EQ(Main({"gsc", "-pout/", "a.gs"}).result, 1);
  FakeBackEnd::overflowWriter = false;
  EXPECT_EQ(Read("out/a.gsl"), "kept");

  const MainRun missing = Main({"gsc", "-pnowhere/", "a.gs"});
  EXPECT_EQ(missing.result, 1);
  EXPECT_EQ(missing.out, "Unable to open output file.\n\n");
  EXPECT_EQ(Listing("out"), "a.gsl");
}

// The command line compiles once: the node blocks freed while it generates
// code give their pages back at once. In-process compiles keep them for the
// next compile, and the command line leaves the limit as it found it.
TEST_F(DriverTest, CommandLineGivesFreedNodePagesBackAndRestoresTheLimit) {
  namespace Blocks = GSCompiler::ParseNodeBlocks;
  InstallBackEnd();
  Write("a.gs", kGood);
  const size_t before = Blocks::SetResidentLimit(7);
  FakeBackEnd::residentLimit = 99;
  EXPECT_EQ(Main({"gsc", "a.gs"}).result, 0);
  EXPECT_EQ(FakeBackEnd::residentLimit, 0u);
  EXPECT_EQ(GSCompileToLibrary("a.gs", nullptr, nullptr), 0);
  EXPECT_EQ(FakeBackEnd::residentLimit, 7u);
  EXPECT_EQ(Blocks::SetResidentLimit(before), 7u);
}

TEST_F(DriverTest, CompileToLibraryUsesTheCallersIncludeList) {
  InstallBackEnd();
  Write("lib/x.gs", kGood);
  CompileLog log;
  EXPECT_EQ(GSCompileToLibrary(nullptr, "x.gsl", &log), 0);
  EXPECT_EQ(GSCompileToLibrary("x.gs", "x.gsl", &log), 1);  // not on the (empty) list
  GSCompilerAddIncludePath("lib");
  EXPECT_EQ(GSCompileToLibrary("x.gse", "out.gsl", &log), 0);
  EXPECT_TRUE(Exists("out.gsl"));
  EXPECT_EQ(GSCompileToLibrary("x.gs", nullptr, &log), 0);
  EXPECT_EQ(GSCompileToLibrary("x.gs", "none/out.gsl", &log), 1);
  FakeBackEnd::failWriter = true;
  EXPECT_EQ(GSCompileToLibrary("x.gs", "out.gsl", &log), 1);
  EXPECT_EQ(GSCompileToLibrary("x.gs", "out.gsl", nullptr), 1);  // a null log keeps nothing
  EXPECT_EQ(Drain(log), (std::vector<std::string>{
                            "Could not read file (null) : x.gs.",
                            ".. while compiling 'x.gs'",
                            "Unable to open output file: 'none/out.gsl'.\n",
                            "Internal Compiler Error on 'x.gs'.\n",
                        }));
}

TEST_F(DriverTest, IncludeFoldersMayLieInANamedRoot) {
  InstallBackEnd();
  Write("box/sub/y.gs", kGood);
  const Kiv::PString root("gsdriver-test-root");
  Kiv::File::Subst(root, temp_.At("box"));
  GSCompilerAddIncludePath(Kiv::PString("sub"), root);
  CompileLog log;
  EXPECT_EQ(GSCompileToLibrary("y.gs", nullptr, &log), 0);
  // The message names the container of the last folder searched.
  EXPECT_EQ(GSCompileToLibrary("z.gs", nullptr, &log), 1);
  EXPECT_EQ(Drain(log), (std::vector<std::string>{"Could not read file gsdriver-test-root : z.gs.",
                                                  ".. while compiling 'z.gs'"}));
  Kiv::File::Subst(root, "");
}

TEST_F(DriverTest, UnitNamesAreBoundedAndOnlyGseIsStripped) {
  CompileLog log;
  const std::string longName = std::string(600, 'n') + ".gs";
  EXPECT_EQ(GSCompileToLibrary(longName.c_str(), nullptr, &log), 1);
  EXPECT_EQ(Drain(log), (std::vector<std::string>{"Could not read file (null) : " + longName + ".",
                                                  ".. while compiling '" + longName + "'"}));
  GSCompilerAddIncludePath("");
  Write("module", kGood);
  EXPECT_EQ(GSCompileToLibrary("module", nullptr, &log), 1);
  EXPECT_EQ(GSCompileToLibrary("Name.GSE", nullptr, &log), 1);
  EXPECT_EQ(Drain(log), (std::vector<std::string>{
                            "Could not read file (null) : module.",
                            ".. while compiling 'module'",
                            "Could not read file (null) : name.gs.",
                            ".. while compiling 'Name.GSE'",
                        }));
}

TEST_F(DriverTest, CompileLogKeepsOrderWhileGrowing) {
  CompileLog log;
  log.SetGrowStep(4);
  for (int i = 0; i < 3; ++i) log.AppendLine(std::to_string(i));
  EXPECT_STREQ(log.TakeLine(), "0");
  EXPECT_STREQ(log.TakeLine(), "1");
  // The ring wraps, then grows with its oldest line not at index 0.
  for (int i = 3; i < 40; ++i) CompileLogAppend(&log, std::to_string(i).c_str());
  EXPECT_EQ(log.Count(), 38u);
  EXPECT_EQ(log.Capacity() % 4, 0u);
  std::vector<std::string> expected;
  for (int i = 2; i < 40; ++i) expected.push_back(std::to_string(i));
  EXPECT_EQ(Drain(log), expected);
  CompileLogAppend(&log, std::string(5000, 'x').c_str());  // longer than a block
  EXPECT_EQ(std::string(log.TakeLine()).size(), 5000u);
  GSCompilerResetLog(&log);
  EXPECT_EQ(log.Count(), 0u);
  EXPECT_EQ(log.TakeLine(), nullptr);
  CompileLogAppend(nullptr, "ignored");
  GSCompilerResetLog(nullptr);
}

}  // namespace
