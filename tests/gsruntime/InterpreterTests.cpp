// What scripts cannot reach through gsrun (the opcodes are the lang/ scripts').
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "RuntimeTestSupport.h"
#include "gscompiler/bytecode/GSOpcodes.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSString.h"
#include "gsruntime/GSThread.h"

namespace {

using namespace GSRuntime;

constexpr const char* kSource = R"(
class Host {
  public int Five() { return 5; }
  public int Bad() { int z = 0; return 1 / z; }
  public native int Nest();
  public native int Spaced(int a,int b);
  public native int Probe(Host h);
  public void Spin() { for (;;); }
  public string Text(float f) { return "t" + f; }
  public native int Where();
  public int CallFive() { return Five(); }
  public int CallProbe() { return Probe(me); }
};
)";

GSThread* seenThread = nullptr;
int probeResult = -1;

void Nest(GSContext*, GSStack& stack) {
  const GSValue me = *GSStack::FrameSlot0(stack.CurrentFrame());
  GSClass* cls = GSScriptInstance::FromRef(me)->cls;
  const bool inner = GSObject::InvokeFunction(cls, me, "$int@Host::Bad()", {}, nullptr);
  seenThread = CurrentThread();
  stack.Push(GSFromInt(inner ? 1 : 2));
}

void Probe(GSContext*, GSStack& stack) {
  GSObject* host = nullptr;
  probeResult = GetObjectParam(stack, 1, host, true) ? (host != nullptr ? 1 : 0) : -1;
  stack.Push(GSFromInt(probeResult));
}

// A context class of its own, for natives bound to a context member.
class TaggedContext : public GSContext {
 public:
  void Where(GSStack& stack) { stack.Push(GSFromInt(7)); }
};

class InterpreterTest : public GSTest::ScriptObjectFixture {
 protected:
  void SetUp() override {
    RuntimeFixture::SetUp();
    machine_->RegisterNative(
        std::make_unique<GSCNativeFunction>("Host", "$int@Host::Nest()", Nest));
    machine_->RegisterNative(
        std::make_unique<GSCNativeFunction>("Host", "$int@Host::Spaced(int, int)", Nest));
    machine_->RegisterNative(
        std::make_unique<GSCNativeFunction>("Host", "$int@Host::Probe(Host)", Probe));
    machine_->RegisterNative(std::make_unique<GSCPPContextNativeFunction<TaggedContext>>(
        "Host", "$int@Host::Where()", &TaggedContext::Where));
    BuildObject(kSource, "host", "Host");
  }

  const GSFunction& Function(const char* signature) { return *cls_->FindOwnFunction(signature); }
  GSValue Me() const { return object_.GetScriptInstance(); }
  // Runs `signature` on the machine's thread, on `me` (the fixture's object if 0).
  GSResult Run(const char* signature, std::vector<GSValue> args, GSValue* result, GSValue me = 0) {
    return GSRunFunction(*machine_->Thread(), Function(signature), me ? me : Me(), args, result);
  }
};

TEST_F(InterpreterTest, SleepingThreadRunsWhenItsTimerRunsOut) {
  GSThread thread(0);
  GSStack& stack = thread.Stack();
  ASSERT_TRUE(stack.Push(Me()));
  GSObjectReference::AddRef(Me());
  ASSERT_TRUE(stack.PushFrame(Function("$int@Host::Five()"), 0));
  thread.state = GSThread::Waiting;
  thread.timer = 2.0f;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(thread.Execute(0.5f), ER_Blocked) << i;
  EXPECT_EQ(thread.Execute(0.5f), ER_Done);
  EXPECT_EQ(GSInt(*stack.Top()), 5);
  thread.timer = 0.0f;
  thread.state = GSThread::Waiting;
  EXPECT_EQ(thread.Execute(10.0f), ER_Blocked);  // waiting for a message, not sleeping
}

TEST_F(InterpreterTest, RunWithoutFrameFailsWithEmptyPlace) {
  GSThread thread(0);
  print_->lines.clear();
  EXPECT_EQ(thread.Execute(0.0f), ER_NoStackFrame);
  ASSERT_GE(print_->lines.size(), 2u);
  EXPECT_EQ(print_->lines[0], "Thread Exception: ER_NoStackFrame, line -1, file ");
  EXPECT_EQ(print_->lines[1], "Stack Dump...");
  EXPECT_EQ(thread.state, GSThread::Stopped);
}

TEST_F(InterpreterTest, FunctionWithoutCodeIsNotRun) {
  GSFunction empty = Function("$int@Host::Five()");
  empty.code = nullptr;
  empty.codeSize = 0;
  GSValue result = 0;
  EXPECT_EQ(GSRunFunction(*machine_->Thread(), empty, Me(), {}, &result), ER_IllegalInstruction);
  EXPECT_EQ(print_->Count("Thread Exception: ER_IllegalInstruction, line 3, file host.gs"), 1u);
}

// A call site remembers its callee; one without code is refused at every
// call, the remembered ones too.
TEST_F(InterpreterTest, CallOfAFunctionWithoutCodeIsRefusedEveryTime) {
  GSFunction& five = const_cast<GSFunction&>(Function("$int@Host::Five()"));
  const uint32_t size = five.codeSize;
  five.codeSize = 0;
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    GSValue result = 0;
    EXPECT_EQ(Run("$int@Host::CallFive()", {}, &result), ER_IllegalInstruction);
  }
  five.codeSize = size;
  GSValue result = 0;
  EXPECT_EQ(Run("$int@Host::CallFive()", {}, &result), ER_Done);
  EXPECT_EQ(GSInt(result), 5);
}

// A native whose frame does not fit on the stack is not run, whether its
// call site already remembers it or not: the overflow is reported with the
// frames below it and the stack is emptied; once the frame fits again the
// same site runs the native.
TEST_F(InterpreterTest, NativeWithoutRoomForItsFrameOverflowsEveryTime) {
  GSFunction& probe = const_cast<GSFunction&>(Function("$int@Host::Probe(Host)"));
  const uint32_t needed = probe.slotsNeeded;
  for (int run = 0; run < 4; ++run) {
    SCOPED_TRACE(run);
    // Runs 0 and 2 fit (the second through the remembered callee); 1 and 3
    // ask for more than the whole stack.
    const bool fits = run % 2 == 0;
    probe.slotsNeeded = fits ? needed : GSStack::kCapacity;
    print_->lines.clear();
    GSValue result = 0;
    EXPECT_EQ(Run("$int@Host::CallProbe()", {}, &result), fits ? ER_Done : ER_StackOverflow);
    if (fits) {
      EXPECT_EQ(GSInt(result), 1);
      continue;
    }
    const std::vector<std::string> report = {
        "GSStack overflow...",
        "function $int@Host::CallProbe()",
        "Thread Exception: ER_StackOverflow, line 12, file host.gs",
        "Stack Dump...",
        "function $int@Host::CallProbe(), line -1",
    };
    EXPECT_EQ(print_->lines, report);
    EXPECT_TRUE(machine_->Thread()->Stack().Empty());
  }
  probe.slotsNeeded = needed;
}

// Code the loader would refuse (RETV with two values, or none, on the
// stack) is still refused where it runs, with the stack's report.
TEST_F(InterpreterTest, ReturnWithOtherThanOneValueIsRefused) {
  struct Case {
    const char* what;
    std::vector<uint8_t> code;
    const char* report;
  } cases[] = {
      {"two values", {GSByteCode::PUSH1, GSByteCode::PUSH1, GSByteCode::RETV},
       "GSStack::ReturnValue> diff=5"},
      {"no value", {GSByteCode::RETV}, "GSStack::ReturnValue> diff=3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GSFunction bad = Function("$int@Host::Five()");
    bad.code = c.code.data();
    bad.codeSize = static_cast<uint32_t>(c.code.size());
    print_->lines.clear();
    GSValue result = 0;
    EXPECT_EQ(GSRunFunction(*machine_->Thread(), bad, Me(), {}, &result), ER_StackReturnError);
    EXPECT_EQ(print_->Count(c.report), 1u);
  }
}

TEST_F(InterpreterTest, EndlessLoopStopsJustPastTheBudget) {
  // Each pass of the loop runs 7 code bytes (PUSH1, JZ, JMP) and is charged
  // at its jump.
  EXPECT_EQ(Run("$void@Host::Spin()", {}, nullptr), ER_Timeout);
  EXPECT_GT(gsRunBudgetUsed, kGSRunBudget);
  EXPECT_LE(gsRunBudgetUsed, kGSRunBudget + 7);
}

TEST_F(InterpreterTest, FloatTextIgnoresTheProcessLocale) {
  // A locale with a decimal comma, made in the scratch folder.
  const std::string folder = (root_ / "locales").string();
  std::filesystem::create_directories(folder);
  const std::string make = "localedef -i de_DE -f UTF-8 " + folder + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "no locale with a decimal comma";
  setenv("LOCPATH", folder.c_str(), 1);
  const bool set = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  unsetenv("LOCPATH");
  if (!set) GTEST_SKIP() << "no locale with a decimal comma";
  char printed[32];
  std::snprintf(printed, sizeof printed, "%f", 1.5);
  GSValue result = 0;
  const GSResult outcome = Run("$string@Host::Text(float)", {GSFromFloat(1.5f)}, &result);
  std::setlocale(LC_ALL, "C");
  EXPECT_STREQ(printed, "1,500000");  // the locale took effect
  ASSERT_EQ(outcome, ER_Done);
  EXPECT_EQ(GSString::FromRef(result)->text, "t1.500000");
  GSObjectReference::Release(result);
}

TEST_F(InterpreterTest, ErrorInNestedRunRestoresOuterThread) {
  GSThread outer(0);
  GSValue result = 0;
  seenThread = nullptr;
  EXPECT_EQ(GSRunFunction(outer, Function("$int@Host::Nest()"), Me(), {}, &result), ER_Done);
  EXPECT_EQ(GSInt(result), 2);
  EXPECT_EQ(seenThread, &outer);
  EXPECT_EQ(print_->Count("Thread Exception: ER_DivideByZero, line 4, file host.gs"), 1u);
  EXPECT_EQ(CurrentThread(), nullptr);
}

TEST_F(InterpreterTest, SignatureWithBlankDoesNotBind) {
  EXPECT_EQ(Function("$int@Host::Spaced(int,int)").native, nullptr);
  EXPECT_EQ(print_->Count("Could not resolve native link $int@Host::Spaced(int,int)"), 1u);
  GSValue result = 0;
  EXPECT_EQ(Run("$int@Host::Spaced(int,int)", {1, 2}, &result), ER_NativeCallError);
}

TEST_F(InterpreterTest, ObjectParamMayBeNullWhenAllowed) {
  GSValue result = 0;
  for (const GSValue host : {GSValue(0), Me()}) {
    EXPECT_EQ(Run("$int@Host::Probe(Host)", {host}, &result), ER_Done);
    EXPECT_EQ(GSInt(result), host != 0 ? 1 : 0);
  }
}

TEST_F(InterpreterTest, ContextNativeRunsOnlyInItsContextClass) {
  GSValue result = 0;
  EXPECT_EQ(Run("$int@Host::Where()", {}, &result), ER_NativeCallError);
  TaggedContext tagged;
  GSObject object;
  ASSERT_TRUE(object.AttachScriptInstance(cls_, &tagged));
  EXPECT_EQ(Run("$int@Host::Where()", {}, &result, object.GetScriptInstance()), ER_Done);
  EXPECT_EQ(GSInt(result), 7);
  object.Detach();
}

TEST_F(InterpreterTest, SetElementGrowsAndKeepsCounts) {
  GSArray* array = GSArray::Create(context_.get(), true);
  GSString* text = GSString::Create("x", context_.get());
  const GSValue ref = text->GetScriptInstance();
  EXPECT_TRUE(GSArray::SetElement(*array, 3, ref, true, nullptr));
  EXPECT_EQ(array->Size(), 4);
  EXPECT_EQ(GSScriptInstance::FromRef(ref)->count, 2);
  EXPECT_FALSE(GSArray::SetElement(*array, -1, ref, true, nullptr));
  EXPECT_EQ(GSScriptInstance::FromRef(ref)->count, 2);
  GSObjectReference::Release(ref);
  GSObjectReference::Release(array->GetScriptInstance());
}

}  // namespace
