// Announcing, loading and linking libraries through the machine, with the
// exact messages of each failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <string>

#include "RuntimeTestSupport.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSNativeFunction.h"

namespace {

using namespace GSRuntime;

const char kDep[] = "class Left { public int a; };\nclass Right { public int b; };\n";
const char kMain[] =
    "include \"dep.gs\"\nclass Main isclass Left { Right r; public int Get() { return a; } };\n";

class LoaderTest : public GSTest::RuntimeFixture {
 protected:
  // main.gsl and dep.gsl, main depending on dep.
  void BuildPair() {
    Write("dep.gs", kDep);
    dep_ = Build(kDep, "dep");
    main_ = Build(kMain, "main");
  }

  // Gives a library another identity: in its header and as its own
  // dependency (entry 0).
  static void SetId(std::vector<uint8_t>& bytes, const GSLibraryId& id) {
    const size_t self = 24 + GSByteCode::GSReadU32(&bytes[20]) + 12;
    for (size_t at : {size_t{12}, self})
      for (int b = 0; b < 4; ++b) {
        bytes[at + b] = static_cast<uint8_t>(id.textCrc >> (8 * b));
        bytes[at + 4 + b] = static_cast<uint8_t>(id.nameCrc >> (8 * b));
      }
  }

  static GSLibraryId IdOf(const std::vector<uint8_t>& bytes) {
    GSLibraryFormat::GslLibrary read;
    std::string error;
    GSLibraryFormat::ReadGsl(bytes, read, error);
    return read.header.textCrc == 0 ? GSLibraryId{}
                                    : GSLibraryId{read.header.textCrc, read.header.nameCrc};
  }

  std::vector<uint8_t> dep_, main_;
};

TEST_F(LoaderTest, TwoCopiesUnderDifferentNamesAreReportedOnce) {
  BuildPair();
  WriteBytes("copy.GSL", dep_);
  Write("notes.gsl", "not a library at all");
  machine_->AddLibraryFolder(fileRoot_);
  EXPECT_EQ(print_->lines,
            (std::vector<std::string>{"Could not add game script library dep.gsl to GSMachine"}));
  EXPECT_EQ(machine_->LinkCount(), 2u);  // copy.GSL and main.gsl
  EXPECT_NE(machine_->FindLibraryByName("COPY.gsl"), nullptr);
  EXPECT_EQ(machine_->FindLibraryByName("dep.gsl"), nullptr);
  ASSERT_NE(machine_->FindLibraryByName("Main.GSL"), nullptr);
}

TEST_F(LoaderTest, AnnouncingReadsOnlyTheHeader) {
  BuildPair();
  Write("short.gsl", std::string("\x20\0\0\0\x5D\x57\x62", 7));
  std::vector<uint8_t> wrongMagic = dep_;
  wrongMagic[4] ^= 0xFF;
  WriteBytes("magic.gsl", wrongMagic);
  EXPECT_FALSE(machine_->AddLibrary(fileRoot_, "", "short.gsl", nullptr));
  EXPECT_FALSE(machine_->AddLibrary(fileRoot_, "", "magic.gsl", nullptr));
  EXPECT_FALSE(machine_->AddLibrary(fileRoot_, "", "absent.gsl", nullptr));
  std::filesystem::create_directory("sub");
  WriteBytes("sub/dep.gsl", dep_);
  const GSLibraryId id = Announce("dep.gsl");
  GSLibraryId again{};
  EXPECT_TRUE(machine_->AddLibrary(fileRoot_, "sub", "dep.gsl", &again));
  EXPECT_TRUE(again == id);
  EXPECT_EQ(machine_->LinkCount(), 1u);
  EXPECT_TRUE(print_->lines.empty());
  GSLibrary* viaSub = machine_->FindLibraryByName("SUB/DEP.GSL");
  ASSERT_NE(viaSub, nullptr);
  EXPECT_EQ(machine_->FindLibraryByName("dep.gsl"), viaSub);
}

TEST_F(LoaderTest, LoadedLibraryIsKeptAndFailedOneIsRetried) {
  BuildPair();
  std::vector<uint8_t> cut(dep_.begin(), dep_.end() - 8);
  WriteBytes("dep.gsl", cut);
  const GSLibraryId id = Announce("dep.gsl");
  EXPECT_EQ(machine_->GetLibrary(id), nullptr);
  EXPECT_EQ(print_->Count("GSMachine: Error -1 loading library dep.gsl (dep.gs)"), 1u);
  WriteBytes("dep.gsl", dep_);
  GSLibrary* loaded = machine_->GetLibrary(id);
  ASSERT_NE(loaded, nullptr);
  std::filesystem::remove("dep.gsl");
  EXPECT_EQ(machine_->GetLibrary(id), loaded);
  EXPECT_EQ(machine_->Libraries(), std::vector<GSLibrary*>{loaded});
}

TEST_F(LoaderTest, NamesInMessagesAreNeverFormats) {
  BuildPair();
  WriteBytes("odd%s%n.gsl", std::vector<uint8_t>(dep_.begin(), dep_.end() - 1));
  EXPECT_EQ(machine_->GetLibrary(Announce("odd%s%n.gsl")), nullptr);
  EXPECT_EQ(print_->lines.back(), "GSMachine: Error -1 loading library odd%s%n.gsl (dep.gs)");
}

TEST_F(LoaderTest, MissingDependencyIsReportedThenErrorMinusTwo) {
  BuildPair();
  std::filesystem::remove("dep.gsl");
  const GSLibraryId depId = IdOf(dep_);
  EXPECT_EQ(Load("main.gsl"), nullptr);
  char line[128];
  std::snprintf(line, sizeof line,
                "GSMachine::GetLibrary> library '0x%X 0x%X' not found in link table", depId.textCrc,
                depId.nameCrc);
  EXPECT_EQ(print_->lines, (std::vector<std::string>{
                               line, "GSMachine: Error -2 loading library main.gsl (main.gs)"}));
}

TEST_F(LoaderTest, SimilarLibrariesAreNamedWhenAnIdIsMissing) {
  BuildPair();
  ASSERT_NE(Load("dep.gsl"), nullptr);
  const GSLibraryId depId = IdOf(dep_);
  EXPECT_EQ(machine_->GetLibrary(GSLibraryId{depId.textCrc + 1, depId.nameCrc}), nullptr);
  ASSERT_EQ(print_->lines.size(), 2u);
  EXPECT_EQ(print_->lines[1],
            "  Similar library found with matching filename hash but built from different source: "
            "dep.gs");
}

TEST_F(LoaderTest, MissingClassesAreEachReportedThenErrorMinusThree) {
  BuildPair();
  std::vector<uint8_t> renamed =
      Build("class Lefty { public int a; };\nclass Righty { public int b; };\n", "renamed");
  SetId(renamed, IdOf(dep_));
  WriteBytes("dep.gsl", renamed);
  Announce("dep.gsl");
  EXPECT_EQ(Load("main.gsl"), nullptr);
  EXPECT_EQ(print_->lines,
            (std::vector<std::string>{"GS Link error: Unable to find class 'Left'",
                                      "GS Link error: Unable to find class 'Right'",
                                      "GSMachine: Error -3 loading library main.gsl (main.gs)"}));
}

TEST_F(LoaderTest, ClassesAreFoundByNameAmongManyAndTheLastOfANameWins) {
  std::string source;
  for (int i = 0; i < 300; ++i) source += "class K" + std::to_string(i) + " { public int v; };\n";
  source += "class Twin1 { public int a; };\nclass Twin2 { public int a; public int b; };\n";
  std::vector<uint8_t> bytes = Build(source, "many");
  // The second twin renamed: two classes are then named "Twin1".
  const std::string second("Twin2\0", 6);
  const auto at = std::search(bytes.begin(), bytes.end(), second.begin(), second.end());
  ASSERT_NE(at, bytes.end());
  at[4] = '1';
  WriteBytes("many.gsl", bytes);
  GSLibrary* many = Load("many.gsl");
  ASSERT_NE(many, nullptr);
  for (int i = 0; i < 300; ++i) {
    const std::string name = "K" + std::to_string(i);
    const GSClass* found = many->FindClass(name);
    ASSERT_NE(found, nullptr) << name;
    EXPECT_EQ(found->name, name);
  }
  const GSClass* twin = many->FindClass("Twin1");
  ASSERT_NE(twin, nullptr);
  EXPECT_EQ(twin->members.count, 2u);
  for (const char* missing : {"K", "K300", "K10x", "k1", "Twin2", ""})
    EXPECT_EQ(many->FindClass(missing), nullptr) << missing;
}

TEST_F(LoaderTest, NativesBindBySignatureAndAMissingOneOnlyWarns) {
  Build("class Tool { native int Count(); native void Reset(string s); };\n", "tool");
  machine_->RegisterNative(
      std::make_unique<GSCNativeFunction>("Tool", "$int@Tool::Count()", nullptr));
  machine_->RegisterNative(
      std::make_unique<GSCNativeFunction>("Other", "$void@Tool::Reset(string)", nullptr));
  GSLibrary* tool = Load("tool.gsl");
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(print_->lines,
            (std::vector<std::string>{"Could not resolve native link $void@Tool::Reset(string)"}));
  GSClass* cls = tool->FindClass("Tool");
  EXPECT_NE(cls->FindOwnFunction("$int@Tool::Count()")->native, nullptr);
  EXPECT_EQ(cls->FindOwnFunction("$void@Tool::Reset(string)")->native, nullptr);
  EXPECT_NE(machine_->FindNative(Kiv::PString("GSObject"),
                                 Kiv::PString("$string@GSObject::GetGSClassName()")),
            nullptr);
}

TEST_F(LoaderTest, ReleasedSlotsAreKeptAsAMaskOfTheTable) {
  // Wide's locals take slots 1 to 64: slot 64 has no bit, so its frame
  // goes through the table.
  std::string wide = "  public void Wide() {";
  for (int i = 1; i <= 64; ++i) wide += " string s" + std::to_string(i) + ";";
  wide += " }\n";
  Build(
      "class Tool { native void Take(string a, int b, Tool c);\n"
      "  public void Keep(string a, int b) { string d = a; int e = b; Tool f; }\n" +
          wide + "};\n",
      "tool");
  GSLibrary* tool = Load("tool.gsl");
  ASSERT_NE(tool, nullptr);
  GSClass* cls = tool->FindClass("Tool");
  const GSFunction* wideFn = cls->FindOwnFunction("$void@Tool::Wide()");
  ASSERT_NE(wideFn, nullptr);
  EXPECT_EQ(wideFn->referenceSlots.count, 64u);
  EXPECT_FALSE(wideFn->releaseByMask);
  EXPECT_EQ(wideFn->releaseMask, 0u);
  for (const char* signature :
       {"$void@Tool::Take(string,int,Tool)", "$void@Tool::Keep(string,int)"}) {
    SCOPED_TRACE(signature);
    const GSFunction* fn = cls->FindOwnFunction(signature);
    ASSERT_NE(fn, nullptr);
    ASSERT_TRUE(fn->releaseByMask);
    uint64_t listed = 0;
    for (uint32_t i = 0; i < fn->referenceSlots.count; ++i)
      listed |= uint64_t{1} << fn->referenceSlots.At(i);
    EXPECT_EQ(fn->releaseMask, listed);
    EXPECT_EQ(std::popcount(fn->releaseMask), static_cast<int>(fn->referenceSlots.count));
  }
}

TEST_F(LoaderTest, RegistrarsRunOnEveryMachineAndTheLaterBindingWins) {
  GSAddNativeRegistrar([](GSMachine& machine) {
    machine.RegisterNative(std::make_unique<GSCNativeFunction>("Late", "$void@Late::F()", nullptr));
  });
  GSMachine* process = GetGSMachine();
  EXPECT_EQ(GetGSMachine(), process);
  const Kiv::PString cls("Late"), signature("$void@Late::F()");
  EXPECT_NE(process->FindNative(cls, signature), nullptr);
  GSMachine local;
  local.Init();
  GSNativeFunction* first = local.FindNative(cls, signature);
  ASSERT_NE(first, nullptr);
  local.RegisterNative(std::make_unique<GSCNativeFunction>("Late", "$void@Late::F()", nullptr));
  EXPECT_NE(local.FindNative(cls, signature), first);
  EXPECT_EQ(local.FindNative(Kiv::PString("Other"), signature), nullptr);
}

TEST_F(LoaderTest, FailedCyclicLoadLeavesNothingDangling) {
  // a and b include each other; a also names a class that its third
  // dependency lacks, so b links against a while a loads, and a then fails.
  const char kA[] = "include \"b.gs\"\ninclude \"c.gs\"\nclass A { public B b; public C c; };\n";
  const char kB[] = "include \"a.gs\"\nclass B isclass A { public int n; };\n";
  const char kC[] = "class C { public int x; };\n";
  Write("a.gs", kA);
  Write("b.gs", kB);
  Write("c.gs", kC);
  const std::vector<uint8_t> c = Build(kC, "c");
  Build(kA, "a");
  Build(kB, "b");
  std::vector<uint8_t> lacking = Build("class D { public int x; };\n", "d");
  SetId(lacking, IdOf(c));
  WriteBytes("c.gsl", lacking);
  std::filesystem::remove("d.gsl");
  machine_->AddLibraryFolder(fileRoot_);
  EXPECT_EQ(machine_->FindLibraryByName("a.gsl"), nullptr);
  EXPECT_EQ(print_->Count("GSMachine: Error -3 loading library a.gsl"), 1u);
  EXPECT_TRUE(machine_->Libraries().empty());           // b and c went with a
  GSLibrary* b = machine_->FindLibraryByName("b.gsl");  // loads a again, which fails again
  EXPECT_EQ(b, nullptr);
  if (b != nullptr) {
    EXPECT_TRUE(b->FindClass("B")->InheritsFrom("A"));  // would read the freed a
  }
  EXPECT_TRUE(machine_->Libraries().empty());
}

// Libraries announced with their bytes (the script cache's): they load from
// those bytes, take new bytes for their next load, and unload with the
// libraries that link to them; a library announced from a file keeps its
// file and is never unloaded.
TEST_F(LoaderTest, LibrariesAnnouncedWithTheirBytesLoadFromThemAndUnloadWithTheirUsers) {
  BuildPair();
  const std::vector<uint8_t> other = Build("class Other { public int o; };\n", "other");
  std::vector<uint8_t> newDep =
      Build(std::string(kDep) + "class Extra { public int e; };\n", "newdep");
  std::filesystem::remove("dep.gsl");
  std::filesystem::remove("main.gsl");
  EXPECT_FALSE(machine_->AddLibraryImage("junk.gsl", std::vector<uint8_t>(64, 0), nullptr));
  GSLibraryId depId{}, mainId{};
  ASSERT_TRUE(machine_->AddLibraryImage("cache/dep.gsl", dep_, &depId));
  ASSERT_TRUE(machine_->AddLibraryImage("cache/main.gsl", main_, &mainId));
  const GSLibraryId otherId = Announce("other.gsl");
  EXPECT_EQ(machine_->LinkCount(), 3u);
  GSLibrary* fromFile = machine_->GetLibrary(otherId);
  ASSERT_NE(fromFile, nullptr);
  ASSERT_NE(machine_->GetLibrary(mainId), nullptr);
  ASSERT_EQ(machine_->Libraries().size(), 3u);

  SetId(newDep, depId);
  ASSERT_TRUE(machine_->AddLibraryImage("cache/dep.gsl", newDep, nullptr));
  EXPECT_EQ(machine_->GetLibrary(depId)->FindClass("Extra"), nullptr) << "loaded stays loaded";
  machine_->UnloadLibrary(depId);
  EXPECT_EQ(machine_->Libraries(), std::vector<GSLibrary*>{fromFile}) << "main went with dep";
  GSLibrary* main = machine_->GetLibrary(mainId);
  ASSERT_NE(main, nullptr);
  const std::vector<GSLibrary*> loaded = machine_->Libraries();
  EXPECT_NE(std::find(loaded.begin(), loaded.end(), main), loaded.end());
  EXPECT_NE(machine_->GetLibrary(depId)->FindClass("Extra"), nullptr) << "the new bytes";

  ASSERT_TRUE(machine_->AddLibraryImage("cache/other.gsl", other, nullptr));
  EXPECT_EQ(machine_->FindLibraryByName("cache/other.gsl"), fromFile);
  machine_->UnloadLibrary(otherId);
  EXPECT_EQ(machine_->Libraries().size(), 3u) << "a library from a file stays";
  EXPECT_EQ(machine_->GetLibrary(otherId), fromFile);
  EXPECT_TRUE(print_->lines.empty());
}

// Forgetting the libraries announced with their bytes (a command host, at
// the start of each job): they and what links to them go with their ids
// and names, as if never announced; a library from a file stays loaded.
TEST_F(LoaderTest, ForgottenLibraryImagesAreMissingUntilAnnouncedAgain) {
  BuildPair();
  Build("class Other { public int o; };\n", "other");
  GSLibraryId depId{}, mainId{};
  ASSERT_TRUE(machine_->AddLibraryImage("cache/dep.gsl", dep_, &depId));
  ASSERT_TRUE(machine_->AddLibraryImage("cache/main.gsl", main_, &mainId));
  GSLibrary* fromFile = machine_->GetLibrary(Announce("other.gsl"));
  ASSERT_NE(machine_->GetLibrary(mainId), nullptr);

  machine_->ForgetLibraryImages();
  EXPECT_EQ(machine_->Libraries(), std::vector<GSLibrary*>{fromFile});
  EXPECT_EQ(machine_->LinkCount(), 1u);
  EXPECT_EQ(machine_->FindLibraryByName("cache/main.gsl"), nullptr);
  EXPECT_EQ(machine_->GetLibrary(depId), nullptr);
  EXPECT_FALSE(print_->lines.empty()) << "reported missing from the link table";

  ASSERT_TRUE(machine_->AddLibraryImage("cache/dep.gsl", dep_, nullptr));
  ASSERT_TRUE(machine_->AddLibraryImage("cache/main.gsl", main_, nullptr));
  ASSERT_NE(machine_->FindLibraryByName("cache/main.gsl"), nullptr);
  EXPECT_EQ(machine_->Libraries().size(), 3u);
}

}  // namespace
