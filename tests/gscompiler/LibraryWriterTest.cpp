// Whole libraries: header, chunks, class records, determinism and every
// function's code of a program that uses most of the language.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "GslCompileSupport.h"
#include "foundation/text/Crc32.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/bytecode/GSLibraryFormat.h"
#include "gscompiler/bytecode/GSOpcodes.h"

namespace {

using GSTest::CompiledUnit;
using namespace GSLibraryFormat;

// tests/gscompiler/library/Sample.gs, read once.
const std::string kSample = [] {
  std::ifstream in(VU_SOURCE_DIR "/tests/gscompiler/library/Sample.gs", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}();

uint32_t Crc(const std::string& s) {
  return Crc32Buffer(s.data(), s.size());
}

class LibraryWriter : public GSTest::CompileFixture {};

std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

}  // namespace

TEST_F(LibraryWriter, HeaderAndChunksOfTheSample) {
  const CompiledUnit u = Compile(kSample, "Sample.gs");
  ASSERT_EQ(u.result, 0) << Joined(u.log);
  ASSERT_TRUE(u.readable) << u.readError;
  const GslLibrary& lib = u.library;
  EXPECT_EQ(lib.header.totalLength, u.bytes.size());
  EXPECT_EQ(lib.header.magic, kGslMagic);
  EXPECT_EQ(lib.header.version, 0x3F828F5Cu);
  EXPECT_EQ(lib.header.textCrc, Crc(kSample));
  EXPECT_EQ(lib.header.nameCrc, Crc("sample.gs"));
  EXPECT_EQ(lib.name, "sample.gs");
  ASSERT_EQ(lib.dependencies.size(), 1u);
  EXPECT_EQ(lib.dependencies[0], (GslLibraryId{Crc(kSample), Crc("sample.gs")}));
  ASSERT_EQ(lib.classes.size(), 3u);

  // Every reference index lies inside its table.
  for (const auto& ref : lib.classRefs) EXPECT_LT(ref.name, lib.strings.size());
  for (const auto& ref : lib.functionRefs) {
    EXPECT_LT(ref.classRef, lib.classRefs.size());
    EXPECT_LT(ref.signature, lib.strings.size());
  }
  for (const GslClass& k : lib.classes) {
    for (const auto& base : k.bases) EXPECT_LT(base.classRef, lib.classRefs.size());
    for (const auto& entry : k.virtualTable) EXPECT_LT(entry.function, lib.functionRefs.size());
    ASSERT_FALSE(k.functions.empty());
    EXPECT_EQ(lib.strings[k.functions.back().signature], "::" + lib.strings[k.name] + "()")
        << "the class initialiser is the last record";
    EXPECT_EQ(k.layout.size(), 2 * k.bases.size() + 1);
  }
}

TEST_F(LibraryWriter, ClassRecordsOfADerivedClass) {
  const CompiledUnit u = Compile(kSample);
  ASSERT_TRUE(u.readable) << Joined(u.log) << u.readError;
  const GslLibrary& lib = u.library;
  const GslClass& shape = lib.classes[1];
  EXPECT_EQ(lib.strings[shape.name], "Shape");
  ASSERT_EQ(shape.bases.size(), 1u);
  EXPECT_EQ(lib.strings[lib.classRefs[shape.bases[0].classRef].name], "Base");
  EXPECT_EQ(shape.bases[0].p, 2u) << "p: the base's part follows the 2 header slots";
  EXPECT_EQ(shape.bases[0].r, 1u);
  // Base has 2 variables: Shape's own members start at 2 + 2 + 2 = 6; the
  // define takes no slot and is not listed.
  ASSERT_EQ(shape.members.size(), 3u);
  for (const GslMemberEntry& m : shape.members) {
    const std::string name = lib.strings[m.name];
    const int32_t expected = name == "w" ? 6 : name == "h" ? 7 : 8;
    EXPECT_EQ(m.slot, expected) << name;
    EXPECT_NE(name, "SIDES");
  }
  EXPECT_EQ(shape.objectSlots, 6u + 3 + 3);
  EXPECT_EQ(shape.referenceMembers, std::vector<uint32_t>{8});
  EXPECT_EQ(shape.layout[0], (GslLayoutEntry{0, 2, static_cast<uint32_t>(-2)}));
  EXPECT_EQ(shape.layout[2], (GslLayoutEntry{1, 1, 0}));
  // The virtual table: Base's Size and Touch, Size replaced by Shape's, then
  // Shape's own functions appended.
  std::vector<std::string> table;
  for (const auto& entry : shape.virtualTable)
    table.push_back(lib.strings[lib.functionRefs[entry.function].signature]);
  EXPECT_EQ(table, (std::vector<std::string>{"$int@Shape::Size()", "$void@Base::Touch(int)",
                                             "$float@Shape::Area()", "$int@Shape::Size()",
                                             "$void@Shape::Draw(string)"}));
  // The native function has a record without code; its flags keep native.
  const GslFunction* draw = lib.FindFunction("$void@Shape::Draw(string)");
  ASSERT_NE(draw, nullptr);
  EXPECT_TRUE(draw->code.empty());
  EXPECT_EQ(draw->flags & 2u, 2u);
  EXPECT_EQ(draw->referenceSlots, std::vector<uint32_t>{1});
}

TEST_F(LibraryWriter, EveryFunctionDecodesAndEveryJumpLandsOnAnInstruction) {
  const CompiledUnit u = Compile(kSample);
  ASSERT_TRUE(u.readable) << Joined(u.log) << u.readError;
  size_t functions = 0;
  for (const GslClass& k : u.library.classes) {
    for (const GslFunction& f : k.functions) {
      std::string error;
      EXPECT_TRUE(GSByteCode::VerifyCode(f.code, error))
          << u.library.strings[f.signature] << ": " << error << "\n"
          << Joined(GSByteCode::Disassemble(f.code));
      EXPECT_EQ(f.advance, f.locals + f.temps + 4);
      EXPECT_GE(f.slotsNeeded, f.advance) << "the maximum depth is not negative";
      for (size_t i = 1; i < f.lines.size(); ++i)
        EXPECT_LT(f.lines[i - 1].offset, f.lines[i].offset);
      ++functions;
    }
  }
  EXPECT_EQ(functions, 11u);
  // The thread function waits on two messages, then once more outside the
  // wait; "continue" goes back to the WAIT.
  const std::vector<std::string> watch = u.Listing("$void@Demo::Watch()");
  ASSERT_FALSE(watch.empty());
  EXPECT_NE(watch[0].find("WAIT 2"), std::string::npos) << watch[0];
  const std::vector<std::string> ops = u.Ops("$string@Demo::Run(int,float)");
  for (const char* op : {"ITOS",  "FTOS",       "SCAT",     "SSTORE", "SSUB",  "ACOPY", "DUP2REF",
                         "CAST",  "JZKEEP",     "JNZKEEP",  "FCMP",   "REFNE", "FTOS",  "CALL",
                         "START", "CALLNATIVE", "NEWARRAY", "SWITCH", "ASIZE", "SSIZE"})
    EXPECT_NE(std::find(ops.begin(), ops.end(), op), ops.end()) << op;
  const std::vector<std::string> size = u.Ops("$int@Demo::Size()");
  EXPECT_NE(std::find(size.begin(), size.end(), "INHERITED"), size.end());
}

TEST_F(LibraryWriter, CompilingTwiceGivesIdenticalBytes) {
  const CompiledUnit first = Compile(kSample);
  const CompiledUnit second = Compile(kSample);
  ASSERT_FALSE(first.bytes.empty()) << Joined(first.log);
  EXPECT_EQ(first.bytes, second.bytes);
}

TEST_F(LibraryWriter, TruncatedLibraryIsRefusedWithAReasonAtEveryLength) {
  const CompiledUnit u = Compile(kSample);
  ASSERT_TRUE(u.readable) << Joined(u.log) << u.readError;
  for (size_t n = 0; n < u.bytes.size(); ++n) {
    const std::vector<uint8_t> cut(u.bytes.begin(),
                                   u.bytes.begin() + static_cast<std::ptrdiff_t>(n));
    GslLibrary lib;
    std::string error;
    EXPECT_FALSE(ReadGsl(cut, lib, error)) << n;
    EXPECT_FALSE(error.empty()) << n;
  }
}

TEST_F(LibraryWriter, UnitWithoutFunctionsHasEmptyRecordsAndAlignedChunks) {
  const CompiledUnit u = Compile("class A { };\n", "a.gs");
  ASSERT_EQ(u.result, 0) << Joined(u.log);
  ASSERT_TRUE(u.readable) << u.readError;
  ASSERT_EQ(u.library.classes.size(), 1u);
  const GslClass& a = u.library.classes[0];
  ASSERT_EQ(a.functions.size(), 1u) << "only the initialiser";
  EXPECT_TRUE(a.functions[0].code.empty()) << "nothing to initialise: no RET either";
  EXPECT_FALSE(a.functions[0].hasLineTable);
  EXPECT_TRUE(a.members.empty());
  EXPECT_TRUE(a.virtualTable.empty());
  EXPECT_EQ(a.objectSlots, 5u);
}

TEST_F(LibraryWriter, WrongReturnTypeOverrideFailsTheLibrary) {
  const CompiledUnit u = Compile(
      "class B { public int F() { return 1; } };\nclass A isclass B { public float F() { return "
      "1.0; } };\n");
  EXPECT_EQ(u.result, 1);
  EXPECT_TRUE(u.bytes.empty());
  EXPECT_NE(Joined(u.log).find("Wrong return type on function: \n$float@A::F()\n"),
            std::string::npos)
      << Joined(u.log);
}

// Each override replaces every earlier entry of its name, however deep the
// chain of bases; a function of another name keeps its own entries.
TEST_F(LibraryWriter, OverrideReplacesEveryEarlierEntryOfItsName) {
  const CompiledUnit u = Compile(
      "class A { public int F() { return 1; } public int G() { return 2; } };\n"
      "class B isclass A { public int F() { return 3; } };\n"
      "class C isclass B { public int F() { return 4; } };\n");
  ASSERT_TRUE(u.readable) << Joined(u.log) << u.readError;
  const GslLibrary& lib = u.library;
  ASSERT_EQ(lib.classes.size(), 3u);
  std::vector<std::string> table;
  for (const auto& entry : lib.classes[2].virtualTable)
    table.push_back(lib.strings[lib.functionRefs[entry.function].signature]);
  EXPECT_EQ(table, (std::vector<std::string>{"$int@C::F()", "$int@A::G()", "$int@C::F()",
                                             "$int@C::F()"}));
}

// Many functions per class, overrides far into a long table, and a small
// class written after a large one: each class's table starts empty.
TEST_F(LibraryWriter, LongVirtualTablesAndSmallOnesAfterThem) {
  std::string source = "class Big {\n";
  for (int i = 0; i < 40; ++i)
    source += " public int F" + std::to_string(i) + "() { return " + std::to_string(i) + "; }\n";
  source +=
      "};\nclass Sub isclass Big { public int F3() { return 0; } public int F37() { return 0; }"
      " public int H() { return 0; } };\n"
      "class Small { public int F3() { return 0; } };\n";
  const CompiledUnit u = Compile(source);
  ASSERT_TRUE(u.readable) << Joined(u.log) << u.readError;
  const GslLibrary& lib = u.library;
  ASSERT_EQ(lib.classes.size(), 3u);
  auto tableOf = [&](const GslClass& k) {
    std::vector<std::string> table;
    for (const auto& entry : k.virtualTable)
      table.push_back(lib.strings[lib.functionRefs[entry.function].signature]);
    return table;
  };
  std::vector<std::string> big;
  std::vector<std::string> sub;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "F" + std::to_string(i) + "()";
    big.push_back("$int@Big::" + name);
    sub.push_back(i == 3 || i == 37 ? "$int@Sub::" + name : "$int@Big::" + name);
  }
  for (const char* own : {"$int@Sub::F3()", "$int@Sub::F37()", "$int@Sub::H()"})
    sub.push_back(own);
  EXPECT_EQ(tableOf(lib.classes[0]), big);
  EXPECT_EQ(tableOf(lib.classes[1]), sub);
  EXPECT_EQ(tableOf(lib.classes[2]), std::vector<std::string>{"$int@Small::F3()"});
}

TEST_F(LibraryWriter, ShortWriteKeepsTheOldLibrary) {
  Write("t.gsl", "old library");
  Write("t.gs", kSample);
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previous = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 64;  // the library is longer: its write comes up short
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  CompileLog log;
  const int result = GSCompileFile("t.gs", nullptr, nullptr, &log);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Read("t.gsl"), "old library");
  EXPECT_EQ(Listing(), "t.gs t.gsl") << "no temporary file is left behind";
}

// The classes are built first and the header, dependencies and string table
// put in front of them afterwards: whether the string table fits the room
// left behind the classes or the library has to grow for it, every chunk
// reads back whole and in place.
// The head is written behind the classes and swapped to the front: names
// of every length modulo 4 leave the later chunks padded as at the start.
TEST_F(LibraryWriter, StringTableOfAnySizeLandsInFrontOfTheClasses) {
  struct Case {
    const char* what;
    size_t literalSize;
    const char* fileName;
  };
  const Case cases[] = {{"short strings", 3, "grow.gs"},
                        {"a string table far larger than the classes", 200000, "grow.gs"},
                        {"a name of 5 bytes with its NUL", 3, "g.gs"},
                        {"a name of 6 bytes with its NUL", 200000, "gr.gs"},
                        {"a name of 7 bytes with its NUL", 3, "gro.gs"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string literal(c.literalSize, 'q');
    const std::string source = "class A { public string F() { return \"" + literal +
                               "\"; } public int G(int n) { return n + 1; } };\n"
                               "class B isclass A { public int H() { return G(2); } };\n";
    const CompiledUnit u = Compile(source, c.fileName);
    ASSERT_EQ(u.result, 0) << Joined(u.log);
    ASSERT_TRUE(u.readable) << u.readError;
    const GslLibrary& lib = u.library;
    EXPECT_EQ(lib.header.totalLength, u.bytes.size());
    EXPECT_EQ(lib.header.textCrc, Crc(source));
    EXPECT_EQ(lib.name, c.fileName);
    ASSERT_EQ(lib.dependencies.size(), 1u);
    EXPECT_NE(std::find(lib.strings.begin(), lib.strings.end(), literal), lib.strings.end());
    ASSERT_EQ(lib.classes.size(), 2u);
    EXPECT_EQ(lib.strings[lib.classes[0].name], "A");
    EXPECT_EQ(lib.strings[lib.classes[1].name], "B");
    EXPECT_EQ(u.Ops("$int@A::G(int)"), (std::vector<std::string>{"LOAD", "PUSHI", "IADD", "RETV"}))
        << "the code chunk after the strings decodes";
  }
}

// Code generation frees the nodes of each class once it is generated. A
// unit whose tree spans many node blocks, with classes that use members,
// defines and functions of the classes before them, still compiles every
// class from its own nodes.
TEST_F(LibraryWriter, ClassesFreedAsTheyAreGeneratedStillCompileWhole) {
  constexpr int kClasses = 400;
  std::string source;
  for (int i = 0; i < kClasses; ++i) {
    const std::string n = std::to_string(i);
    const std::string previous = std::to_string(i > 0 ? i - 1 : 0);
    source += "class K" + n + " {\n  public define int N = " + std::to_string(1000 + i) +
              ";\n  int v = " + n + ";\n  public int G(int a) { while (a > 0) a = a - 1; return a; }\n" +
              "  public int F(K" + previous + " k) { return K" + previous + ".N + v + k.G(" + n +
              "); }\n};\n";
  }
  const CompiledUnit u = Compile(source, "many.gs");
  ASSERT_EQ(u.result, 0) << Joined(u.log);
  ASSERT_TRUE(u.readable) << u.readError;
  ASSERT_EQ(u.library.classes.size(), static_cast<size_t>(kClasses));
  for (int i = 0; i < kClasses; i += 37) {
    const std::string n = std::to_string(i);
    const std::string previous = std::to_string(i > 0 ? i - 1 : 0);
    SCOPED_TRACE("K" + n);
    EXPECT_EQ(u.library.strings[u.library.classes[i].name], "K" + n);
    const std::vector<std::string> f = u.Listing("$int@K" + n + "::F(K" + previous + ")");
    std::string joined;
    for (const std::string& line : f) joined += line + "\n";
    EXPECT_NE(joined.find(std::to_string(1000 + (i > 0 ? i - 1 : 0))), std::string::npos)
        << joined;
    EXPECT_FALSE(u.Ops("$int@K" + n + "::G(int)").empty());
  }
}
