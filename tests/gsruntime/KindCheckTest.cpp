// Value kinds: the kinds a signature gives, and the checks the interpreter
// makes where the loader cannot know the callee or the object's class. Each
// damaged library here passes the loader (its code is sound for some
// callee) and, before these checks, handed a number to code that used it
// as a reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RuntimeTestSupport.h"
#include "gscompiler/GSTypeNames.h"
#include "gscompiler/bytecode/GSByteOrder.h"
#include "gscompiler/bytecode/GSDisassembler.h"
#include "gscompiler/bytecode/GSLibraryFormat.h"
#include "gscompiler/bytecode/GSOpcodes.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSThread.h"
#include "gsruntime/GSValueKind.h"

namespace {

using namespace GSRuntime;

TEST(ValueKindTest, SignaturesGiveTheKindsOfResultAndArguments) {
  struct Case {
    const char* signature;
    bool valid;
    uint8_t result;
    std::vector<uint8_t> params;  // the object first
  };
  const uint8_t N = kKindNone, P = kKindPlain, R = kKindReference;
  const Case cases[] = {
      {"$void@A::F()", true, N, {R}},
      {"$int@A::F(bool,float,string)", true, P, {R, P, P, R}},
      {"$A[]@A::F(A,int[],object)", true, R, {R, R, R, R}},
      {"$string@A::F(int)", true, R, {R, P}},
      {"A::F(int)", true, N, {R, P}},
      {"$int@A::F(int,)", false, P, {}},
      {"$int@A::F(void)", false, P, {}},
      {"$@A::F()", false, N, {}},
      {"$int@A::F", false, N, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signature);
    uint8_t result = kKindInvalid;
    std::vector<uint8_t> params;
    ASSERT_EQ(GSSignatureKinds(c.signature, result, params), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(params, c.params);
  }
}

// The loader's kinds of compiled type codes agree with what the compiler
// reference-counts (its own GSIsReferenceType): a reference to one is one
// to the other.
TEST(ValueKindTest, TypeCodeKindsAgreeWithTheCompiler) {
  for (uint32_t code = 0; code <= 15; ++code) {
    SCOPED_TRACE(code);
    const uint8_t kind = GSTypeCodeKind(code);
    EXPECT_EQ(kind == kKindReference, ::GSIsReferenceType(code));
    EXPECT_EQ(kind == kKindPlain, code >= 1 && code <= 3);
    EXPECT_EQ(kind == kKindNone, code == 0);
  }
}

constexpr const char* kSource = R"(
class Box {
  public string name = "box";
  public int n = 3;
};
class K {
  public string S() { return "text"; }
  public int I() { return 7; }
  public int Take(string t) { return t.size(); }
  public int TakeInt(int i) { return i; }
  public int UseI() { return I(); }
  public int UseTake() { return Take("x"); }
  public int Passed() { return Take(S()); }
  public string Direct() { return S(); }
  public int Argument() { return TakeInt(5); }
  public string Name(Box b) { return b.name; }
  public void SetN(Box b) { b.n = 9; }
  public int Keep(int[] a) { return a[0] = 5; }
  public int Ends(int x) { if (x) return 1; return 2; }
  public int UseEnds() { return Ends(0) + 1; }
  public int Accept(string t) { return 4; }
  public int Room() { TakeInt(I()); TakeInt(I()); TakeInt(I()); TakeInt(I()); return Accept(S()); }
};
)";

class KindCheckTest : public GSTest::RuntimeFixture {
 protected:
  void SetUp() override {
    RuntimeFixture::SetUp();
    bytes_ = Build(kSource, "kinds");
    std::string error;
    ASSERT_TRUE(GSLibraryFormat::ReadGsl(bytes_, read_, error)) << error;
  }

  // The file offset of the first instruction `mnemonic` of `signature`.
  size_t Op(const char* signature, const char* mnemonic) const {
    const std::vector<uint8_t>& code = read_.FindFunction(signature)->code;
    const size_t start = static_cast<size_t>(
        std::search(bytes_.begin(), bytes_.end(), code.begin(), code.end()) - bytes_.begin());
    for (const std::string& line : GSByteCode::Disassemble(code))
      if ((line + " ").find(std::string(" ") + mnemonic + " ") != std::string::npos)
        return start + std::stoul(line);
    ADD_FAILURE() << mnemonic << " not in " << signature;
    return 0;
  }
  uint16_t U16(size_t at) const { return GSByteCode::GSReadU16(&bytes_[at]); }
  void Put16(size_t at, uint16_t value) {
    bytes_[at] = static_cast<uint8_t>(value);
    bytes_[at + 1] = static_cast<uint8_t>(value >> 8);
  }

  // Loads the (changed) library in a machine of its own and runs
  // `signature` on a new K, with a new Box as the argument when asked for.
  GSResult Run(const char* signature, bool boxArgument) {
    WriteBytes("kinds.gsl", bytes_);
    GSMachine machine;
    machine.Init();
    GSLibraryId id{};
    EXPECT_TRUE(machine.AddLibrary(fileRoot_, "", "kinds.gsl", &id));
    GSLibrary* library = machine.GetLibrary(id);
    EXPECT_NE(library, nullptr);
    if (library == nullptr) return ER_Done;
    GSContext context;
    GSObject k, box;
    EXPECT_TRUE(k.AttachScriptInstance(library->FindClass("K"), &context));
    EXPECT_TRUE(box.AttachScriptInstance(library->FindClass("Box"), &context));
    std::vector<GSValue> args;
    if (boxArgument) args.push_back(box.GetScriptInstance());
    GSValue result = 0;
    const GSFunction& fn = *library->FindClass("K")->FindOwnFunction(signature);
    const GSResult outcome =
        GSRunFunction(*machine.Thread(), fn, k.GetScriptInstance(), args, &result);
    lastResult_ = fn.returnKind == kKindPlain ? GSInt(result) : -1;
    if (outcome == ER_Done && fn.returnKind == kKindReference) GSObjectReference::Release(result);
    k.Detach();
    box.Detach();
    return outcome;
  }

  std::vector<uint8_t> bytes_;
  GSLibraryFormat::GslLibrary read_;
  int32_t lastResult_ = -1;  // the int result of the last Run
};

TEST_F(KindCheckTest, UndamagedCallsRun) {
  EXPECT_EQ(Run("$int@K::Passed()", false), ER_Done);
  EXPECT_EQ(Run("$string@K::Direct()", false), ER_Done);
  EXPECT_EQ(Run("$void@K::SetN(Box)", true), ER_Done);
}

TEST_F(KindCheckTest, CalleeOfOtherKindsStopsTheCall) {
  // Each call is made to reach I(), which returns a number, or Take(string),
  // which takes a reference, where the code was written for another callee.
  struct Case {
    const char* what;
    const char* caller;
    const char* callee;  // whose method index the call gets
  };
  const Case cases[] = {
      {"result used as a reference", "$string@K::Direct()", "$int@K::UseI()"},
      {"result passed on to a reference argument", "$int@K::Passed()", "$int@K::UseI()"},
      {"number given for a reference argument", "$int@K::Argument()", "$int@K::UseTake()"},
  };
  const std::vector<uint8_t> original = bytes_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bytes_ = original;
    Put16(Op(c.caller, "CALL") + 3, U16(Op(c.callee, "CALL") + 3));
    print_->lines.clear();
    EXPECT_EQ(Run(c.caller, false), ER_StackReturnError);
    EXPECT_EQ(print_->Count("Thread Exception: ER_StackReturnError"), 1u);
  }
}

TEST_F(KindCheckTest, MemberOfAnotherKindIsNotWritten) {
  // b.n = 9 aimed at the string field: the number would replace a counted
  // reference.
  Put16(Op("$void@K::SetN(Box)", "SETM") + 1, U16(Op("$string@K::Name(Box)", "GETMREF") + 1));
  EXPECT_EQ(Run("$void@K::SetN(Box)", true), ER_NullReference);
}

TEST_F(KindCheckTest, KeptStoreOfAnotherKindIsRefused) {
  // The number 5 stored, and kept, as an element of a reference array.
  bytes_[Op("$int@K::Keep(int[])", "ASTOREKEEP")] = GSByteCode::ASTOREREFKEEP;
  WriteBytes("kinds.gsl", bytes_);
  GSMachine machine;
  machine.Init();
  GSLibraryId id{};
  ASSERT_TRUE(machine.AddLibrary(fileRoot_, "", "kinds.gsl", &id));
  print_->lines.clear();
  EXPECT_EQ(machine.GetLibrary(id), nullptr);
  EXPECT_EQ(print_->Count("takes a reference but finds a number"), 1u);
}

TEST_F(KindCheckTest, ValueFunctionEndingWithoutValueReturnsZero) {
  // "return 2" becomes RET (and unreachable filler): its caller, which
  // takes a value, gets 0 instead of a stack one value short.
  const size_t second = Op("$int@K::Ends(int)", "RETV") + 1;
  ASSERT_EQ(bytes_[second], GSByteCode::PUSHI);
  const uint8_t ending[] = {GSByteCode::RET, GSByteCode::PUSH0, GSByteCode::POP, GSByteCode::PUSH0,
                            GSByteCode::POP};
  std::copy(std::begin(ending), std::end(ending),
            bytes_.begin() + static_cast<std::ptrdiff_t>(second));
  EXPECT_EQ(Run("$int@K::UseEnds()", false), ER_Done);
  EXPECT_EQ(lastResult_, 1);
}

TEST_F(KindCheckTest, NullThatMeetsAPassedOnResultRunsWhateverTheSlotHeldBefore) {
  // Hand-made code in place of Room(): I() passed on to TakeInt leaves the
  // kind of a number in its slot; later a null that meets S() (passed on
  // to Accept) lies in the same slot. A null fits either kind.
  using namespace GSByteCode;
  const char* room = "$int@K::Room()";
  const std::vector<uint8_t>& code = read_.FindFunction(room)->code;
  const size_t start = static_cast<size_t>(
      std::search(bytes_.begin(), bytes_.end(), code.begin(), code.end()) - bytes_.begin());
  std::vector<size_t> calls;
  for (const std::string& line : Disassemble(code))
    if (line.find(" CALL ") != std::string::npos) calls.push_back(start + std::stoul(line));
  ASSERT_EQ(calls.size(), 10u);  // I, TakeInt four times; S, Accept
  const auto call = [&](size_t at) {
    return std::vector<uint8_t>(bytes_.begin() + static_cast<std::ptrdiff_t>(at),
                                bytes_.begin() + static_cast<std::ptrdiff_t>(at + 5));
  };
  std::vector<uint8_t> hand = {LOADREF, 0, 0, LOADREF, 0, 0};
  for (const size_t at : {calls[0], calls[1]}) {
    const std::vector<uint8_t> bytes = call(at);
    hand.insert(hand.end(), bytes.begin(), bytes.end());
  }
  // The null comes at 40 and jumps to the call of Accept at 34; S()'s
  // result falls through to it, so that the call leaves it.
  hand.insert(hand.end(), {POP, LOADREF, 0, 0, PUSH0, JZ, 40, 0, 0, 0, LOADREF, 0, 0});
  const std::vector<uint8_t> s = call(calls[8]), accept = call(calls[9]);
  hand.insert(hand.end(), s.begin(), s.end());
  hand.insert(hand.end(), accept.begin(), accept.end());
  hand.insert(hand.end(), {RETV, PUSH0, JMP, 34, 0, 0, 0});
  ASSERT_EQ(hand.size(), 46u);
  ASSERT_LE(hand.size(), code.size());
  hand.resize(code.size(), PUSH1);  // filler no path reaches
  std::copy(hand.begin(), hand.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(start));
  print_->lines.clear();
  EXPECT_EQ(Run(room, false), ER_Done);
  EXPECT_EQ(lastResult_, 4);
  EXPECT_EQ(print_->Count("Thread Exception"), 0u);
}

}  // namespace
