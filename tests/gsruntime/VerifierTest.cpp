// The load-time check: everything our compiler writes passes it, and
// damaged libraries are refused with -1 and the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "RuntimeTestSupport.h"
#include "gscompiler/bytecode/GSByteOrder.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSCodeVerifier.h"
#include "gsruntime/GSFixedLength.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSThread.h"

namespace {

using namespace GSRuntime;
namespace fs = std::filesystem;

const fs::path kTests = fs::path(VU_SOURCE_DIR) / "tests";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What the verifier proved about each call site of `fn`.
std::vector<std::vector<uint64_t>> Sites(const GSFunction& fn) {
  std::vector<std::vector<uint64_t>> out;
  for (const GSCallSite& s : fn.calls)
    out.push_back(
        {s.offset, s.argumentSlots, s.leaves, s.known, s.refs, s.passedOn, s.wide.size()});
  return out;
}

class VerifierTest : public GSTest::RuntimeFixture {
 protected:
  std::vector<uint8_t> BuildScript(const char* name) {
    return Build(ReadFile(kTests / "gsruntime" / "scripts" / (std::string(name) + ".gs")), name);
  }
  // Calls `use` with each source of `folders` that compiles.
  void ForEachCompiled(std::initializer_list<const char*> folders,
                       const std::function<void(const GSTest::CompiledUnit&)>& use) {
    for (const char* folder : folders)
      for (const fs::directory_entry& entry : fs::directory_iterator(kTests / folder)) {
        if (entry.path().extension() != ".gs") continue;
        SCOPED_TRACE(entry.path().string());
        const GSTest::CompiledUnit unit = Compile(ReadFile(entry.path()), "unit.gs");
        if (!unit.bytes.empty()) use(unit);
      }
  }
  // Writes `bytes` as objects.gsl and loads it in `machine`, with only the
  // lines of that load left in print_.
  GSLibrary* LoadObjects(GSMachine& machine, const std::vector<uint8_t>& bytes) {
    WriteBytes("objects.gsl", bytes);
    machine.Init();
    GSLibraryId id{};
    EXPECT_TRUE(machine.AddLibrary(fileRoot_, "", "objects.gsl", &id));
    print_->lines.clear();
    return machine.GetLibrary(id);
  }
};

TEST_F(VerifierTest, EveryLibraryOfTheCompilerCorpusPasses) {
  int verified = 0;
  ForEachCompiled({"gscompiler/scripts", "gscompiler/semantic", "gscompiler/codegen",
                   "gscompiler/library", "gsruntime/scripts"},
                  [&](const GSTest::CompiledUnit&) {
                    GSMachine machine;
                    machine.Init();
                    GSLibraryId id{};
                    ASSERT_TRUE(machine.AddLibrary(fileRoot_, "", "unit.gsl", &id));
                    machine.GetLibrary(id);
                    EXPECT_EQ(print_->Count("GSLibrary::Load>"), 0u)
                        << (print_->lines.empty() ? "" : print_->lines[0]);
                    print_->lines.clear();
                    ++verified;
                  });
  EXPECT_GE(verified, 4);
}

TEST_F(VerifierTest, EveryStandardLibraryPasses) {
  const fs::path sources = fs::path(VU_SOURCE_DIR) / "gsnative" / "libraries";
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(sources))
    if (entry.path().extension() == ".gs") {
      Write(entry.path().filename().string(), ReadFile(entry.path()));
      names.push_back(entry.path().stem().string());
    }
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const GSTest::CompiledUnit unit = Compile(ReadFile(sources / (name + ".gs")), name + ".gs");
    ASSERT_EQ(unit.result, 0) << (unit.log.empty() ? "" : unit.log.front());
  }
  std::vector<GSLibraryId> ids;
  for (const std::string& name : names) ids.push_back(Announce(name + ".gsl"));
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    print_->lines.clear();
    EXPECT_NE(machine_->GetLibrary(ids[i]), nullptr)
        << (print_->lines.empty() ? "" : print_->lines.back());
    EXPECT_EQ(print_->Count("GSLibrary::Load>"), 0u)
        << (print_->lines.empty() ? "" : print_->lines[0]);
  }
  EXPECT_GE(names.size(), 10u);
}

TEST_F(VerifierTest, CallsLeaveWhatTheirCalleesReturn) {
  BuildScript("calls");
  GSLibrary* library = Load("calls.gsl");
  ASSERT_NE(library, nullptr);
  const GSFunction* run =
      library->FindClass("Caller")->FindOwnFunction("$int@Caller::Run(Quiet,Loud)");
  std::vector<uint32_t> calls;
  for (const std::string& line :
       GSByteCode::Disassemble(std::vector<uint8_t>(run->code, run->code + run->codeSize)))
    if (line.find(" CALL ") != std::string::npos)
      calls.push_back(static_cast<uint32_t>(std::stoul(line)));
  ASSERT_EQ(calls.size(), 7u);  // Quiet, Loud, Loud, Quiet, Quiet, Loud, Loud
  std::vector<uint32_t> valueCalls;
  for (const GSCallSite& site : run->calls)
    if (site.leaves != kKindNone) valueCalls.push_back(site.offset);
  EXPECT_EQ(valueCalls, (std::vector<uint32_t>{calls[1], calls[2], calls[5], calls[6]}));
}

TEST_F(VerifierTest, TruncatedLibraryIsRefusedAtEveryLength) {
  // Cut as it is, and with its length word telling the cut length, so that
  // the reader goes on into the cut structure.
  const std::vector<uint8_t> whole = BuildScript("objects");
  for (size_t n = 0; n < whole.size(); ++n) {
    for (bool relabel : {false, true}) {
      std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
      if (relabel && n >= 4)
        for (int b = 0; b < 4; ++b) cut[b] = static_cast<uint8_t>(n >> (8 * b));
      GSLibrary library(machine_.get(), "cut.gsl");
      print_->lines.clear();
      ASSERT_EQ(library.Load(std::move(cut)), -1) << n;
      ASSERT_EQ(print_->Count("GSLibrary::Load> cut.gsl: "), 1u) << n;
    }
  }
  GSLibrary library(machine_.get(), "whole.gsl");
  EXPECT_EQ(library.Load(whole), -2);  // read and checked; only its own id is not announced
}

// Finds the parts of a library image that the damage cases change.
struct Image {
  std::vector<uint8_t> bytes;
  GSLibraryFormat::GslLibrary read;

  uint32_t U32(size_t at) const { return GSByteCode::GSReadU32(&bytes[at]); }
  void Put(size_t at, uint32_t value) {
    for (int b = 0; b < 4; ++b) bytes[at + b] = static_cast<uint8_t>(value >> (8 * b));
  }
  size_t Top(uint32_t tag) const {
    size_t at = 24 + U32(20);
    while (U32(at + 4) != tag) at += U32(at);
    return at;
  }
  size_t Class(uint32_t k) const {
    size_t at = Top(6) + 12;
    while (k-- > 0) at += U32(at);
    return at;
  }
  size_t Sub(uint32_t k, uint32_t tag) const {
    size_t at = Class(k) + 20 + 12 * U32(Class(k) + 16);
    while (U32(at + 4) != tag) at += U32(at);
    return at;
  }
  const GSLibraryFormat::GslFunction& Fn(const char* signature) const {
    return *read.FindFunction(signature);
  }
  size_t Code(const char* signature) const {
    const std::vector<uint8_t>& code = Fn(signature).code;
    return static_cast<size_t>(std::search(bytes.begin(), bytes.end(), code.begin(), code.end()) -
                               bytes.begin());
  }
  // The file offset of the first instruction with that mnemonic.
  size_t Op(const char* signature, const char* mnemonic) const {
    for (const std::string& line : GSByteCode::Disassemble(Fn(signature).code))
      if (line.substr(line.find(' ') + 1, std::strlen(mnemonic) + 1) ==
              std::string(mnemonic) + " " ||
          line.substr(line.find(' ') + 1) == mnemonic)
        return Code(signature) + std::stoul(line);
    return SIZE_MAX;
  }
  // A copy with the 16-bit operand of the instruction at `at` set to `value`.
  Image WithOperand(size_t at, uint32_t value) const {
    Image changed = *this;
    changed.bytes[at + 1] = static_cast<uint8_t>(value);
    changed.bytes[at + 2] = static_cast<uint8_t>(value >> 8);
    return changed;
  }
  // Word w of a function record (0 the name ... 8 slotsNeeded, 9 P).
  size_t Word(const char* signature, uint32_t w) const {
    const size_t n = Fn(signature).referenceSlots.size();
    return Code(signature) - 8 - 4 * n - 4 * (12 - w);
  }
};

const char kRun[] = "$string@Scene::Run(int,float)";

struct Damage {
  const char* what;
  std::function<void(Image&)> change;
  const char* reason;
};

TEST_F(VerifierTest, DamagedLibrariesAreRefusedWithTheReason) {
  const Damage cases[] = {
      {"total length", [](Image& m) { m.Put(0, m.U32(0) + 1); }, "total length"},
      {"chunk tag", [](Image& m) { m.Put(m.Top(3) + 4, 99); },
       "expected chunk 3 (strings), found tag 99"},
      {"chunk length", [](Image& m) { m.Put(m.Top(4), 0xFFFF); },
       "chunk 4 (class references) length 65535 does not fit"},
      {"string offset", [](Image& m) { m.Put(m.Top(3) + 12, 0xFFFF); },
       "string 0 lies outside the string chunk"},
      {"class reference", [](Image& m) { m.Put(m.Top(4) + 12, 7); },
       "class reference dependency 7 out of range"},
      {"function reference", [](Image& m) { m.Put(m.Top(5) + 16, 999); },
       "function reference name 999 out of range"},
      {"no function records", [](Image& m) { m.Put(m.Sub(0, 8) + 8, 0); },
       "class without function records"},
      {"frame words", [](Image& m) { m.Put(m.Word(kRun, 5), m.U32(m.Word(kRun, 5)) + 1); },
       "do not agree"},
      {"reference slot", [](Image& m) { m.Put(m.Word(kRun, 12) + 4, 0); },
       "outside its arguments and locals"},
      {"stack depth", [](Image& m) { m.Put(m.Word(kRun, 8), m.U32(m.Word(kRun, 5))); },
       "grows beyond its maximum of 0"},
      {"jump target",
       [](Image& m) { m.Put(m.Op(kRun, "JZ") + 1, m.U32(m.Op(kRun, "JZ") + 1) + 1); },
       "is not an instruction"},
      {"switch default",
       [](Image& m) {
         const size_t at = m.Op(kRun, "SWITCH");
         const size_t fallback = at + 3 + 8 * GSByteCode::GSReadU16(&m.bytes[at + 1]);
         m.Put(fallback, m.U32(fallback) + 1);
       },
       "is not an instruction"},
      {"opcode", [](Image& m) { m.bytes[m.Op(kRun, "IADD")] = 200; }, "illegal opcode 200"},
      {"string operand", [](Image& m) { m.bytes[m.Op(kRun, "PUSHSTR") + 2] = 0xFF; },
       "out of range"},
      {"slot operand", [](Image& m) { m.bytes[m.Op(kRun, "LOAD") + 1] = 200; },
       "frame slot 200 out of range"},
      {"store into the object",
       [](Image& m) {
         const size_t store = m.Op(kRun, "STORE");
         m.bytes[store + 1] = 0;
         m.bytes[store + 2] = 0;
       },
       "frame slot 0 holds the object"},
      {"member header", [](Image& m) { m.bytes[m.Op(kRun, "SETMEREF") + 1] = 1; },
       "member 1 is a block header"},
      {"call offset", [](Image& m) { m.bytes[m.Op(kRun, "CALL") + 1] = 1; },
       "call offset above the stack top"},
      {"return", [](Image& m) { m.bytes[m.Op(kRun, "RETREF")] = 109; },
       "does not hold what the return needs"},
      {"initialisers", [](Image& m) { m.Put(m.Sub(0, 12) + 16, 0); },
       "slot initialisers do not match the base list"},
      {"ancestor block", [](Image& m) { m.Put(m.Class(1) + 24, m.U32(m.Sub(1, 12) + 8) - 1); },
       "ancestor block outside the instance"},
      {"instance size", [](Image& m) { m.Put(m.Sub(1, 12) + 8, 1); },
       "instance slot count out of range"},
      {"reference field", [](Image& m) { m.Put(m.Sub(0, 12) + 32, 1); },
       "reference field 1 outside the fields"},
      {"virtual table", [](Image& m) { m.Put(m.Sub(0, 11) + 12, 999); },
       "virtual table function reference 999"},
      {"signature and return type", [](Image& m) { m.Put(m.Word(kRun, 1), 2); },
       "signature of $string@Scene::Run(int,float) does not match its record"},
      {"number argument released", [](Image& m) { m.Put(m.Word(kRun, 12) + 4, 1); },
       "argument 1 of $string@Scene::Run(int,float) is not released as its kind needs"},
      {"reference loaded as a number", [](Image& m) { m.bytes[m.Op(kRun, "LOADREF")] = 31; },
       "frame slot 0 holds a reference"},
      {"number loaded as a reference", [](Image& m) { m.bytes[m.Op(kRun, "LOAD")] = 32; },
       "frame slot 1 holds no reference"},
      {"reference stored into a number slot",
       [](Image& m) { m.bytes[m.Op(kRun, "STOREREF") + 1] = 4; },
       "frame slot 4 holds no reference"},
      {"number taken as a string", [](Image& m) { m.bytes[m.Op(kRun, "ITOS")] = 77; },
       "takes a reference but finds a number"},
      {"int taken as a float", [](Image& m) { m.bytes[m.Op(kRun, "SSIZE") + 1] = 76; },
       "takes a float but finds a number"},
      {"result of another kind", [](Image& m) { m.bytes[m.Op(kRun, "RETREF")] = 110; },
       "returns what the signature does not"},
      // With two faults the first instruction's is told, whichever check
      // finds it.
      {"operand before a jump target",
       [](Image& m) {
         const size_t string = m.Op(kRun, "PUSHSTR"), jump = m.Op(kRun, "JZ");
         EXPECT_LT(string, jump);
         m.bytes[string + 2] = 0xFF;
         m.Put(jump + 1, m.U32(jump + 1) + 1);
       },
       "out of range"},
      {"jump target before an operand",
       [](Image& m) {
         const size_t jump = m.Op(kRun, "JZ"), call = m.Op(kRun, "CALL");
         EXPECT_LT(jump, call);
         m.Put(jump + 1, m.U32(jump + 1) + 1);
         m.bytes[call + 1] = 1;
       },
       "is not an instruction"},
      {"trailing bytes",
       [](Image& m) {
         m.bytes.resize(m.bytes.size() + 4);
         m.Put(0, m.U32(0) + 4);
       },
       "4 bytes after"},
  };
  Image original;
  original.bytes = BuildScript("objects");
  std::string error;
  ASSERT_TRUE(GSLibraryFormat::ReadGsl(original.bytes, original.read, error)) << error;
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.what);
    Image damaged = original;
    c.change(damaged);
    ASSERT_NE(damaged.bytes, original.bytes);
    GSMachine machine;
    EXPECT_EQ(LoadObjects(machine, damaged.bytes), nullptr);
    ASSERT_GE(print_->lines.size(), 2u);
    EXPECT_EQ(print_->lines[0].rfind("GSLibrary::Load> objects.gsl: ", 0), 0u) << print_->lines[0];
    EXPECT_NE(print_->lines[0].find(c.reason), std::string::npos) << print_->lines[0];
    EXPECT_EQ(print_->lines.back(), "GSMachine: Error -1 loading library objects.gsl (objects.gs)");
  }
}

TEST_F(VerifierTest, IndexOperandsAreBoundedExactlyAtTheirLimits) {
  // Each index operand at its limit is refused with the limit named; one
  // below it is never out of range.
  Image original;
  original.bytes = BuildScript("objects");
  std::string error;
  ASSERT_TRUE(GSLibraryFormat::ReadGsl(original.bytes, original.read, error)) << error;
  const uint32_t frameSlots =
      original.U32(original.Word(kRun, 9)) + original.U32(original.Word(kRun, 7)) - 1;
  const struct {
    const char* mnemonic;
    uint32_t limit;
    const char* what;
  } cases[] = {
      {"LOAD", frameSlots, "frame slot"},
      {"STORE", frameSlots, "frame slot"},
      {"PUSHSTR", static_cast<uint32_t>(original.read.strings.size()), "string"},
      {"CAST", static_cast<uint32_t>(original.read.classRefs.size()), "class reference"},
      {"STATIC", static_cast<uint32_t>(original.read.classRefs.size()), "class reference"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mnemonic);
    const size_t at = original.Op(kRun, c.mnemonic);
    ASSERT_NE(at, SIZE_MAX);
    for (const uint32_t operand : {c.limit, c.limit - 1}) {
      Image damaged = original;
      damaged.bytes[at + 1] = static_cast<uint8_t>(operand);
      damaged.bytes[at + 2] = static_cast<uint8_t>(operand >> 8);
      GSMachine machine;
      GSLibrary* library = LoadObjects(machine, damaged.bytes);
      const std::string first = print_->lines.empty() ? "" : print_->lines[0];
      if (operand == c.limit) {
        EXPECT_EQ(library, nullptr);
        EXPECT_NE(first.find(std::string(c.what) + " " + std::to_string(c.limit) +
                             " out of range (" + std::to_string(c.limit) + ")"),
                  std::string::npos)
            << first;
      } else {
        EXPECT_EQ(first.find("out of range"), std::string::npos) << first;
      }
    }
  }
}

TEST_F(VerifierTest, CopiedFunctionRecordsOutliveTheirLibrary) {
  // A library keeps its records' kinds and call sites in a store of its
  // own; a copy of a record must hold its own and stay whole after the
  // library is gone.
  const std::vector<uint8_t> bytes = BuildScript("objects");
  GSFunction copy;
  std::vector<std::vector<uint64_t>> sites;
  std::vector<uint8_t> kinds;
  {
    GSMachine machine;
    GSLibrary* library = LoadObjects(machine, bytes);
    ASSERT_NE(library, nullptr);
    const GSFunction* run = library->FindClass("Scene")->FindOwnFunction(kRun);
    ASSERT_NE(run, nullptr);
    ASSERT_FALSE(run->calls.empty());
    copy = *run;
    sites = Sites(*run);
    kinds.assign(run->paramKinds.begin(), run->paramKinds.end());
  }
  EXPECT_EQ(Sites(copy), sites);
  EXPECT_EQ(std::vector<uint8_t>(copy.paramKinds.begin(), copy.paramKinds.end()), kinds);
  EXPECT_EQ(kinds, (std::vector<uint8_t>{kKindReference, kKindPlain, kKindPlain}));
}

TEST_F(VerifierTest, ClassesAreFoundByTheirWholeName) {
  const std::vector<uint8_t> bytes = BuildScript("objects");
  GSMachine machine;
  GSLibrary* library = LoadObjects(machine, bytes);
  ASSERT_NE(library, nullptr);
  for (const char* name : {"Part", "Shape", "Tally", "Scene"}) {
    ASSERT_NE(library->FindClass(name), nullptr) << name;
    EXPECT_STREQ(library->FindClass(name)->name, name);
  }
  for (const std::string_view missing : {std::string_view("Scen"), std::string_view("Scenes"),
                                         std::string_view(), std::string_view("Part\0", 5)})
    EXPECT_EQ(library->FindClass(missing), nullptr) << missing;
}

TEST(FixedLengthTest, AgreesWithTheDecoderForEveryOpcode) {
  for (uint32_t op = 0; op < 256; ++op) {
    SCOPED_TRACE(op);
    const uint8_t code[16] = {static_cast<uint8_t>(op)};  // WAIT and SWITCH: no entries
    const GSByteCode::GSOpcodeInfo* info = GSByteCode::GSOpcodeInfoOf(op);
    const bool counted = info != nullptr && (info->operands == GSByteCode::GSOperandKind::Wait ||
                                             info->operands == GSByteCode::GSOperandKind::Switch);
    EXPECT_EQ(kGSFixedLength[op], counted ? 0u : GSByteCode::GSInstructionLength(code, 16, 0));
  }
}

TEST_F(VerifierTest, OneVerifierGivesEveryFunctionWhatAFreshOneGives) {
  // The verifier keeps its working storage from one function to the next:
  // nothing of one function may reach the next, in either order.
  BuildScript("objects");
  GSLibrary* library = Load("objects.gsl");
  ASSERT_NE(library, nullptr);
  const GSCodeTables tables{static_cast<uint32_t>(library->Strings().size()),
                            static_cast<uint32_t>(library->ClassRefs().size())};
  std::vector<GSFunction*> functions;
  for (GSClass& cls : library->Classes())
    for (GSFunction& fn : cls.functions) functions.push_back(&fn);
  std::vector<std::vector<std::vector<uint64_t>>> fresh;
  for (GSFunction* fn : functions) {
    std::string error;
    ASSERT_TRUE(GSCodeVerifier(tables).Verify(*fn, error)) << fn->name << ": " << error;
    fresh.push_back(Sites(*fn));
  }
  for (bool backwards : {false, true}) {
    GSCodeVerifier shared(tables);
    for (size_t k = 0; k < functions.size(); ++k) {
      const size_t i = backwards ? functions.size() - 1 - k : k;
      std::string error;
      ASSERT_TRUE(shared.Verify(*functions[i], error)) << functions[i]->name << ": " << error;
      EXPECT_EQ(Sites(*functions[i]), fresh[i]) << functions[i]->name;
    }
  }
}

TEST_F(VerifierTest, InOrderPassDecidesAsTheWalksDo) {
  // Depths and kinds are mostly settled by one pass in offset order, which
  // must accept, refuse (with the walks' reason) and prove call sites
  // exactly as the walks do: for every function of these libraries and for
  // each one-byte change of its code, most of which are refused, some only
  // along one order of paths.
  size_t accepted = 0, refused = 0;
  ForEachCompiled(
      {"gsruntime/scripts", "gscompiler/codegen"}, [&](const GSTest::CompiledUnit& unit) {
        GSMachine machine;
        GSLibrary* library = LoadObjects(machine, unit.bytes);
        if (library == nullptr) return;  // needs libraries this test does not build
        const GSCodeTables tables{static_cast<uint32_t>(library->Strings().size()),
                                  static_cast<uint32_t>(library->ClassRefs().size())};
        auto compare = [&](const GSFunction& fn, const std::vector<uint8_t>& code, size_t at) {
          GSFunction inOrder = fn, walked = fn;
          inOrder.code = walked.code = code.data();
          std::string inOrderError, walkedError;
          const bool passed = GSCodeVerifier(tables).Verify(inOrder, inOrderError);
          ASSERT_EQ(passed, GSCodeVerifier(tables, true).Verify(walked, walkedError))
              << fn.name << " changed at " << at << ": " << walkedError;
          ASSERT_EQ(inOrderError, walkedError) << fn.name << " changed at " << at;
          ASSERT_EQ(Sites(inOrder), Sites(walked)) << fn.name << " changed at " << at;
          ++(passed ? accepted : refused);
        };
        for (GSClass& cls : library->Classes())
          for (const GSFunction& fn : cls.functions) {
            if (fn.codeSize == 0) continue;
            std::vector<uint8_t> code(fn.code, fn.code + fn.codeSize);
            compare(fn, code, SIZE_MAX);
            for (size_t at = 0; at < code.size(); ++at)
              for (const uint8_t change : {1, 255, 33}) {  // +1, -1, and a bit pattern
                std::vector<uint8_t> changed = code;
                changed[at] = static_cast<uint8_t>(code[at] + change);
                compare(fn, changed, at);
              }
          }
      });
  EXPECT_GT(accepted, 500u) << refused;
  EXPECT_GT(refused, 2000u);
}

struct ShapeCase {
  const char* what;
  std::vector<uint8_t> code;  // of a void function of (int)
  const char* reason;         // "" when the code passes
  uint32_t maxDepth = 2;
};

// `n` values pushed and popped again: the kinds of n * n slots to track.
std::vector<uint8_t> DeepStack(size_t n) {
  std::vector<uint8_t> code(n, GSByteCode::PUSH1);
  code.insert(code.end(), n, GSByteCode::POP);
  code.push_back(GSByteCode::RET);
  return code;
}

TEST_F(VerifierTest, PathsThatMeetOrJumpBackAreDecidedAsTheWalksDecide) {
  // Shapes the in-order pass cannot settle alone: kinds that differ where
  // paths meet, call results that meet, a jump back to code no path had
  // reached before it; and the bound on the kinds either check tracks.
  using namespace GSByteCode;
  const ShapeCase cases[] = {
      {"a number and a string meet",
       {LOAD, 1, 0, JZ, 14, 0, 0, 0, PUSH1, JMP, 17, 0, 0, 0, PUSHSTR, 0, 0, POP, RET},
       "offset 17: takes a number but finds a value of mixed kinds"},
      {"an int and a float meet",
       {LOAD, 1, 0, JZ, 14, 0, 0, 0, PUSH1, JMP, 16, 0, 0, 0, PUSH1, ITOF, FNEG, POP, RET},
       "offset 16: takes a float but finds a number"},
      {"an int and a number meet",
       {LOAD, 1, 0, JZ, 14, 0, 0, 0, PUSH1, JMP, 17, 0, 0, 0, LOAD, 1, 0, INEG, POP, RET},
       ""},
      {"two call results meet",
       {LOADREF, 0,   0,       CALL, 0, 0,    0, 0, JNZKEEP, 22, 0,   0,
        0,       POP, LOADREF, 0,    0, CALL, 0, 0, 0,       0,  POP, RET},
       ""},
      {"a switch brings a string where a number waits",
       {PUSH1, LOAD, 1, 0,      JZ, 23, 0,  0, 0, POP, PUSHSTR, 0,  0,
        LOAD,  1,    0, SWITCH, 0,  0,  23, 0, 0, 0,   POP,     RET},
       "offset 23: takes a number but finds a value of mixed kinds"},
      {"a jump back to code reached only from behind",
       {JMP, 8, 0, 0, 0, PUSH1, POP, RET, JMP, 5, 0, 0, 0},
       ""},
      {"a stack too deep to track", DeepStack(6000), "offset 0: too large to check", 6000},
      {"a stack just deep enough", DeepStack(4000), "", 4000},
      // WAIT's message takes a slot above what the stack holds at the WAIT.
      {"a wait at the maximum depth",
       {PUSH1, WAIT, 1, 0, 0, 0, 0, 0, 12, 0, 0, 0, POPREF, POP, RET},
       "offset 1: the operand stack grows beyond its maximum of 1",
       1},
      {"a wait one slot below the maximum depth",
       {PUSH1, WAIT, 1, 0, 0, 0, 0, 0, 12, 0, 0, 0, POPREF, POP, RET},
       "",
       2},
      {"a jump back with another depth",
       {PUSH1, JZ, 7, 0, 0, 0, RET, PUSH1, PUSH1, JMP, 1, 0, 0, 0},
       "offset 1: paths meet here with different stack depths"},
      {"code after the last return that no path reaches", {PUSH1, POP, RET, PUSH1}, ""},
      {"code that runs off its end", {PUSH1, POP}, "offset 1: the code runs past its end"},
      {"a conditional jump that runs off the end",
       {PUSH1, JZ, 0, 0, 0, 0},
       "offset 1: the code runs past its end"},
      {"a call that runs off the end",
       {LOADREF, 0, 0, CALL, 0, 0, 0, 0},
       "offset 3: the code runs past its end"},
      {"a call on a number",
       {LOAD, 1, 0, CALL, 0, 0, 0, 0, RET},
       "offset 3: takes a reference but finds a number"},
      // A refused step whose push, were it skipped, would leave the stack
      // as the return needs it: the depths refuse the code first.
      {"the object loaded as a number, one value left at the return",
       {LOAD, 0, 0, LOAD, 1, 0, POP, RET},
       "offset 7: the operand stack does not hold what the return needs"},
      {"a reference copied as a number, one value left at the return",
       {LOADREF, 0, 0, DUP, POPREF, RET},
       "offset 5: the operand stack does not hold what the return needs"},
  };
  BuildScript("objects");
  GSLibrary* library = Load("objects.gsl");
  ASSERT_NE(library, nullptr);
  const GSCodeTables tables{static_cast<uint32_t>(library->Strings().size()),
                            static_cast<uint32_t>(library->ClassRefs().size())};
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.what);
    GSFunction fn;
    fn.cls = &library->Classes()[0];
    fn.params = 2;
    fn.recordOffset = 1;
    fn.advance = 4;
    fn.slotsNeeded = fn.advance + c.maxDepth;
    fn.code = c.code.data();
    fn.codeSize = static_cast<uint32_t>(c.code.size());
    GSFunction walked = fn;
    std::string error, walkedError;
    EXPECT_EQ(GSCodeVerifier(tables).Verify(fn, error), *c.reason == 0) << error;
    EXPECT_EQ(GSCodeVerifier(tables, true).Verify(walked, walkedError), *c.reason == 0);
    EXPECT_EQ(error, c.reason);
    EXPECT_EQ(walkedError, c.reason);
    EXPECT_EQ(Sites(fn), Sites(walked));
  }
}

TEST_F(VerifierTest, MemberOfMeOnAnAncestorBlockHeaderIsRefused) {
  // Inside a derived instance each ancestor block starts with its own two
  // header slots, which code of the class may not read or write as members.
  Image m;
  m.bytes = BuildScript("objects");
  std::string error;
  ASSERT_TRUE(GSLibraryFormat::ReadGsl(m.bytes, m.read, error)) << error;
  std::vector<uint32_t> headers;
  {
    GSMachine machine;
    GSLibrary* library = LoadObjects(machine, m.bytes);
    ASSERT_NE(library, nullptr);
    const GSClass* scene = library->FindClass("Scene");
    ASSERT_NE(scene, nullptr);
    ASSERT_GT(scene->AncestorCount(), 0u);
    for (uint32_t i = 0; i < scene->AncestorCount(); ++i)
      for (uint32_t slot : {scene->AncestorOffset(i), scene->AncestorOffset(i) + 1})
        if (slot >= 2) headers.push_back(slot);
  }
  ASSERT_FALSE(headers.empty());
  const size_t store = m.Op(kRun, "SETMEREF");
  ASSERT_NE(store, SIZE_MAX);
  for (const uint32_t member : headers) {
    SCOPED_TRACE(member);
    const Image damaged = m.WithOperand(store, member);
    GSMachine machine;
    EXPECT_EQ(LoadObjects(machine, damaged.bytes), nullptr);
    ASSERT_FALSE(print_->lines.empty());
    EXPECT_NE(print_->lines[0].find("member " + std::to_string(member) + " is a block header"),
              std::string::npos)
        << print_->lines[0];
  }
}

TEST_F(VerifierTest, FirstTwoMembersAreBlockHeadersOfEveryObject) {
  // Slots 0 and 1 head the block of a class without ancestors too, and of
  // an object that is not the caller's.
  Image m;
  m.bytes = BuildScript("objects");
  std::string error;
  ASSERT_TRUE(GSLibraryFormat::ReadGsl(m.bytes, m.read, error)) << error;
  const struct {
    const char* function;
    const char* mnemonic;
  } cases[] = {
      {"$int@Part::Size()", "GETME"},
      {"$void@Part::Touch(int)", "SETME"},
      {kRun, "GETM"},
  };
  for (const auto& c : cases)
    for (const uint32_t member : {0u, 1u}) {
      SCOPED_TRACE(std::string(c.function) + " " + c.mnemonic + " " + std::to_string(member));
      const size_t at = m.Op(c.function, c.mnemonic);
      ASSERT_NE(at, SIZE_MAX);
      GSMachine machine;
      EXPECT_EQ(LoadObjects(machine, m.WithOperand(at, member).bytes), nullptr);
      ASSERT_FALSE(print_->lines.empty());
      EXPECT_NE(print_->lines[0].find("member " + std::to_string(member) + " is a block header"),
                std::string::npos)
          << print_->lines[0];
    }
}

TEST_F(VerifierTest, MemberOfMeOfAnotherKindOrPastItsBlockIsRefusedAtLink) {
  // GETME of a reference field, or of a slot that inside a derived instance
  // belongs to the derived class: the code checks, but what the slot holds
  // is only known once the class's ancestors are linked.
  Image m;
  m.bytes = BuildScript("objects");
  std::string error;
  ASSERT_TRUE(GSLibraryFormat::ReadGsl(m.bytes, m.read, error)) << error;
  uint32_t spare = 0;
  {
    GSMachine machine;
    GSLibrary* library = LoadObjects(machine, m.bytes);
    ASSERT_NE(library, nullptr);
    const GSClass* scene = library->FindClass("Scene");
    ASSERT_NE(scene, nullptr);
    spare = scene->BlockSlots();  // the first slot past the block
    ASSERT_LT(spare, scene->instanceSlots);
  }
  const size_t getme = m.Op(kRun, "GETME");
  ASSERT_NE(getme, SIZE_MAX);
  const size_t reference = m.Op(kRun, "GETMEREF");
  ASSERT_NE(reference, SIZE_MAX);
  const uint32_t members[] = {GSByteCode::GSReadU16(&m.bytes[reference + 1]), spare};
  for (const uint32_t member : members) {
    SCOPED_TRACE(member);
    const Image damaged = m.WithOperand(getme, member);
    GSMachine machine;
    EXPECT_EQ(LoadObjects(machine, damaged.bytes), nullptr);
    EXPECT_EQ(print_->Count("GS Link error: Unable to link 'Scene'"), 1u);
  }
}

TEST_F(VerifierTest, DerivedFieldOverItsAncestorsBlockIsRefusedWhicheverLinksFirst) {
  // The derived class's reference field laid over a member of its base's
  // block: over the plain `n`, where the base's code keeps a number, or
  // over the reference `s`, which would be released twice. The base's
  // slot kinds are built once, by whichever class links first: the
  // compiler writes the base first; with the two records swapped the
  // derived class comes first.
  const std::string source =
      "class Base { public int n; public string s; int N() { return n; } };\n"
      "class Derived isclass Base { public string name; };\n";
  Image original;
  original.bytes = Build(source, "objects");
  for (const bool swapped : {false, true}) {
    SCOPED_TRACE(swapped ? "derived first" : "base first");
    Image m = original;
    if (swapped) {
      const size_t first = m.Class(0), second = m.Class(1), end = second + m.U32(second);
      std::rotate(m.bytes.begin() + static_cast<std::ptrdiff_t>(first),
                  m.bytes.begin() + static_cast<std::ptrdiff_t>(second),
                  m.bytes.begin() + static_cast<std::ptrdiff_t>(end));
    }
    std::string error;
    ASSERT_TRUE(GSLibraryFormat::ReadGsl(m.bytes, m.read, error)) << error;
    ASSERT_EQ(m.read.classes.size(), 2u);
    const uint32_t derived = m.read.strings[m.read.classes[0].name] == "Derived" ? 0 : 1;
    ASSERT_EQ(derived, swapped ? 0u : 1u);
    const GSLibraryFormat::GslClass& read = m.read.classes[derived];
    ASSERT_EQ(read.bases.size(), 1u);
    ASSERT_EQ(read.referenceMembers.size(), 1u);
    {
      GSMachine machine;
      EXPECT_NE(LoadObjects(machine, m.bytes), nullptr);
    }
    const size_t field = m.Sub(derived, 12) + 20 + 12 * read.layout.size();
    ASSERT_EQ(m.U32(field), read.referenceMembers[0]);
    for (const char* member : {"n", "s"}) {
      SCOPED_TRACE(member);
      const auto& baseMembers = m.read.classes[1 - derived].members;
      const auto over = std::find_if(baseMembers.begin(), baseMembers.end(), [&](const auto& e) {
        return m.read.strings[e.name] == member;
      });
      ASSERT_NE(over, baseMembers.end());
      Image damaged = m;
      damaged.Put(field, read.bases[0].p + static_cast<uint32_t>(over->slot));
      GSMachine machine;
      EXPECT_EQ(LoadObjects(machine, damaged.bytes), nullptr);
      EXPECT_EQ(print_->Count("GS Link error: Unable to link 'Derived'"), 1u);
    }
  }
}

// Main.Run passes G()'s result on as the first of `count` + 1 arguments of
// F; past 256, every tenth of the others is K(i), a result passed on in its
// turn. F answers a0 * 1000000 + a10 * 10000 + a<count>.
std::string ResultPassedOn(int count) {
  std::string params = "int a0", args = "G()";
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    params += ", int a" + n;
    args += ", " + (i % 10 == 0 && count > 256 ? "K(" + n + ")" : n);
  }
  return "class Main {\n  int G() { return 7; }\n  int K(int i) { return i; }\n  int F(" + params +
         ") { return a0 * 1000000 + a10 * 10000 + a" + std::to_string(count) +
         "; }\n  public int Run() { return F(" + args + "); }\n};\n";
}

class ResultPassedOnTest : public GSTest::ScriptObjectFixture,
                           public ::testing::WithParamInterface<int> {};

TEST_P(ResultPassedOnTest, IsFollowedToTheCallThatTakesIt) {
  // 255 pushes between G's call and F's fit a window of 256 instructions
  // ahead of a call; 256 and 1000 do not, and must load all the same.
  const int count = GetParam();
  BuildObject(ResultPassedOn(count), "passed", "Main");
  if (HasFatalFailure()) return;
  const GSFunction* run = cls_->FindOwnFunction("$int@Main::Run()");
  ASSERT_NE(run, nullptr);
  GSValue result = 0;
  ASSERT_EQ(GSRunFunction(*machine_->Thread(), *run, object_.GetScriptInstance(), {}, &result),
            ER_Done);
  EXPECT_EQ(GSInt(result), 7100000 + count);
}

INSTANTIATE_TEST_SUITE_P(Arguments, ResultPassedOnTest, ::testing::Values(255, 256, 1000));

}  // namespace
