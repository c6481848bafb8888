// The bounds on what scripts may hold and move: the length cap of texts,
// the live bytes of one context's strings and arrays, and the budget that
// moved data is charged to.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "RuntimeTestSupport.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"
#include "gsruntime/GSThread.h"

namespace {

using namespace GSRuntime;

constexpr const char* kSource = R"(
class Hoard {
  public string[] texts;
  public native string Copy(string s);
  public native void Churn(int units);
  public int KeepTexts(int n) {
    string s = "0123456789abcdef";
    int i;
    for (i = 0; i < 12; i++) s = s + s;
    texts = new string[0];
    for (i = 0; i < n; i++) texts[i] = s + i;
    return texts.size();
  }
  public int GrowArray(int n) {
    int[] a = new int[0];
    a[n - 1] = 1;
    return a.size();
  }
  public int CopyOf(string s) {
    string t = Copy(s);
    return t.size();
  }
  public int Busy(int units) {
    Churn(units);
    return 1;
  }
  public void Forget() { texts = null; }
  public int Join(string s, int i) { string t = s + i; return t.size(); }
  public native int Past(int a);
  public int CallPast(int a) { int b = a + 1; return Past(b); }
};
)";

// A native that makes a string: the copy of its argument.
void Copy(GSContext*, GSStack& stack) {
  const GSString* text = GSString::FromRef(GSNativeArg(stack, 1));
  GSString* copy = GSString::Create(text != nullptr ? text->text : "", CurrentContext());
  stack.Push(copy != nullptr ? copy->GetScriptInstance() : 0);
}

// A native that moves `units` budget units' worth of data.
void Churn(GSContext*, GSStack& stack) {
  GSChargeMovedBytes(uint64_t(GSInt(GSNativeArg(stack, 1))) * kGSBytesPerWorkUnit);
}

// A native that reads one argument past its own: "absent" reads as 0.
void Past(GSContext*, GSStack& stack) {
  const GSValue own = GSNativeArg(stack, 1);
  const GSValue beyond = GSNativeArg(stack, 2);
  stack.Push(beyond == 0 ? own : -1);
}

class AllocationMeterTest : public GSTest::ScriptObjectFixture {
 protected:
  void SetUp() override {
    RuntimeFixture::SetUp();
    machine_->RegisterNative(
        std::make_unique<GSCNativeFunction>("Hoard", "$string@Hoard::Copy(string)", Copy));
    machine_->RegisterNative(
        std::make_unique<GSCNativeFunction>("Hoard", "$void@Hoard::Churn(int)", Churn));
    machine_->RegisterNative(
        std::make_unique<GSCNativeFunction>("Hoard", "$int@Hoard::Past(int)", Past));
    BuildObject(kSource, "hoard", "Hoard");
  }

  GSResult Run(const char* signature, std::vector<GSValue> args) {
    const GSFunction* fn = cls_->FindOwnFunction(signature);
    EXPECT_NE(fn, nullptr) << signature;
    if (fn == nullptr) return ER_LinkError;
    return GSRunFunction(*machine_->Thread(), *fn, object_.GetScriptInstance(), args, &value_);
  }
  GSAllocationMeter& Meter() { return context_->Meter(); }

  GSValue value_ = 0;  // what the last Run answered
};

TEST_F(AllocationMeterTest, StringsAndArraysHoldTheirBytesUntilTheyGo) {
  for (GSContext* context : {context_.get(), static_cast<GSContext*>(nullptr)}) {
    GSAllocationMeter& meter = GSAllocationMeter::Of(context);
    const uint64_t before = meter.Live();
    GSString* string = GSString::Create(std::string(100000, 'a'), context);
    ASSERT_NE(string, nullptr);
    EXPECT_GE(meter.Live(), before + 100000);
    ASSERT_TRUE(string->Append(std::string(300000, 'b')));
    GSArray* array = GSArray::Create(context, false);
    ASSERT_NE(array, nullptr);
    const uint64_t withText = meter.Live();
    ASSERT_TRUE(array->SetSize(50000));
    EXPECT_GE(meter.Live(), withText + 50000 * sizeof(GSValue));
    GSObjectReference::Release(string->GetScriptInstance());
    GSObjectReference::Release(array->GetScriptInstance());
    EXPECT_EQ(meter.Live(), before) << (context != nullptr ? "context" : "no context");
  }
  EXPECT_EQ(&GSAllocationMeter::Of(context_.get()), &context_->Meter());
}

TEST(AllocationMeter, AdmitsGrowthUpToItsLimit) {
  struct Case {
    uint64_t limit, live, more;
    bool admitted;
  };
  const Case cases[] = {
      {1000, 0, 1000, true},  {1000, 0, 1001, false},  {1000, 400, 600, true},
      {1000, 400, 601, false}, {1000, 1000, 0, true},   {1000, 0, UINT64_MAX, false},
      {300, 400, 0, false},    // a limit set below what is held admits nothing
  };
  for (const Case& c : cases) {
    GSAllocationMeter meter;
    GSMeterCharge held(meter);
    held.Set(c.live);
    meter.SetLimit(c.limit);
    EXPECT_EQ(meter.Admits(c.more), c.admitted) << c.limit << " " << c.live << " " << c.more;
  }
}

// A native object's charge may always shrink or stay (even over a limit
// set below what is held), grows only within the limit, and is given back
// when it goes.
TEST(AllocationMeter, NativeChargesGrowWithinTheLimitAndShrinkFreely) {
  GSContext* none = nullptr;
  const uint64_t before = GSAllocationMeter::Of(none).Live();
  {
    GSNativeCharge unowned;  // on the process-wide meter
    ASSERT_TRUE(unowned.TrySet(none, 100));
    EXPECT_EQ(GSAllocationMeter::Of(none).Live(), before + 100);
  }
  EXPECT_EQ(GSAllocationMeter::Of(none).Live(), before);

  GSContext context;
  context.Meter().SetLimit(1000);
  {
    GSNativeCharge charge;
    struct Step {
      uint64_t limit, bytes;
      bool taken;
      uint64_t live;
    };
    const Step steps[] = {
        {1000, 600, true, 600},  {1000, 1000, true, 1000}, {1000, 1001, false, 1000},
        {500, 1000, true, 1000},  // staying over a lowered limit
        {500, 900, true, 900},    {500, 901, false, 900},  {500, 0, true, 0},
    };
    for (const Step& step : steps) {
      context.Meter().SetLimit(step.limit);
      EXPECT_EQ(charge.TrySet(&context, step.bytes), step.taken) << step.bytes;
      EXPECT_EQ(context.Meter().Live(), step.live) << step.bytes;
    }
    charge.Set(&context, 700);  // memory already taken: over the limit
    EXPECT_EQ(context.Meter().Live(), 700u);
  }
  EXPECT_EQ(context.Meter().Live(), 0u);
}

// What a charge hands over stays on the meter while anything else holds
// its holder; a sweep (or a charge that would be refused) gives it back.
TEST(AllocationMeter, KeptBytesGoOnceTheMeterIsTheOnlyHolder) {
  struct Holder : ReferenceCountMP {};
  GSContext context;
  GSAllocationMeter& meter = context.Meter();
  meter.SetLimit(1000);
  MPRef<ReferenceCountMP> held = MPRef<ReferenceCountMP>::Adopt(new Holder);
  {
    GSNativeCharge charge;
    ASSERT_TRUE(charge.TrySet(&context, 800));
    charge.KeepWhileHeld(held);
    EXPECT_EQ(charge.Bytes(), 0u);
  }
  EXPECT_EQ(meter.Live(), 800u);
  meter.Sweep();
  EXPECT_EQ(meter.Live(), 800u);
  EXPECT_FALSE(meter.Charge(300));
  held.Reset();
  EXPECT_EQ(meter.KeptCount(), 1u);
  EXPECT_TRUE(meter.Charge(300));  // sweeps first
  EXPECT_EQ(meter.KeptCount(), 0u);
  EXPECT_EQ(meter.Live(), 300u);
  meter.Release(300);
}

TEST_F(AllocationMeterTest, NativesReadArgumentsPastTheirOwnAsAbsent) {
  // The caller's local and the stack above the frame are not the native's.
  ASSERT_EQ(Run("$int@Hoard::CallPast(int)", {GSFromInt(41)}), ER_Done);
  EXPECT_EQ(GSInt(value_), 42);
}

TEST_F(AllocationMeterTest, ScriptsStopAtTheLiveBytesOfTheirContext) {
  Meter().SetLimit(2 << 20);
  GSString* large = GSString::Create(std::string(1100000, 'c'), context_.get());
  ASSERT_NE(large, nullptr);
  const GSValue largeRef = large->GetScriptInstance();
  struct Case {
    const char* signature;
    std::vector<GSValue> args;
    GSResult result;
    const char* exception;  // the first line printed, or null
  };
  const Case cases[] = {
      {"$int@Hoard::KeepTexts(int)", {GSFromInt(8)}, ER_Done, nullptr},
      {"$int@Hoard::KeepTexts(int)", {GSFromInt(64)}, ER_StringOutOfBounds,
       "Thread Exception: ER_StringOutOfBounds, line 11, file hoard.gs"},
      {"$int@Hoard::GrowArray(int)", {GSFromInt(262144)}, ER_ArrayOutOfBounds,
       "Thread Exception: ER_ArrayOutOfBounds, line 16, file hoard.gs"},
      // The native gets null for its copy, but the call ends there.
      {"$int@Hoard::CopyOf(string)", {largeRef}, ER_StringOutOfBounds,
       "Thread Exception: ER_StringOutOfBounds, line 20, file hoard.gs"},
  };
  // One run first: the context keeps the strings of the constants it ran
  // (GSConstantStrings.h), a bounded set that later runs use again.
  ASSERT_EQ(Run("$int@Hoard::KeepTexts(int)", {GSFromInt(8)}), ER_Done);
  ASSERT_EQ(Run("$void@Hoard::Forget()", {}), ER_Done);
  const uint64_t held = Meter().Live();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signature);
    print_->lines.clear();
    EXPECT_EQ(Run(c.signature, c.args), c.result);
    if (c.exception != nullptr) {
      ASSERT_FALSE(print_->lines.empty());
      EXPECT_EQ(print_->lines[0], c.exception);
    }
    EXPECT_LE(Meter().Live(), Meter().Limit());
    // What a run kept goes with the field, the rest went with the run (the
    // operand values of a failed run stay until the context goes).
    ASSERT_EQ(Run("$void@Hoard::Forget()", {}), ER_Done);
    if (c.result == ER_Done) {
      EXPECT_EQ(Meter().Live(), held);
    }
  }
  GSObjectReference::Release(largeRef);
}

// s + i is admitted exactly when the string of the digits and then the
// joined string, both held at once, fit on the meter: the room one byte
// short of that refuses it, that room admits it.
TEST_F(AllocationMeterTest, JoinOfStringAndIntNeedsRoomForItsDigitsToo) {
  GSString* head = GSString::Create(std::string(1000, 'h'), context_.get());
  ASSERT_NE(head, nullptr);
  const GSValue headRef = head->GetScriptInstance();
  uint64_t before = Meter().Live();
  GSString* digits = GSString::Create("7", context_.get());
  ASSERT_NE(digits, nullptr);
  const uint64_t digitsHeld = Meter().Live() - before;
  GSObjectReference::Release(digits->GetScriptInstance());
  const uint64_t need = digitsHeld + sizeof(GSString) + 1000 + 1;
  const uint64_t limit = Meter().Limit();
  for (const uint64_t room : {need - 1, need, need + 1}) {
    SCOPED_TRACE(room);
    before = Meter().Live();
    Meter().SetLimit(before + room);
    EXPECT_EQ(Run("$int@Hoard::Join(string,int)", {headRef, GSFromInt(7)}),
              room < need ? ER_StringOutOfBounds : ER_Done);
    if (room >= need) {
      EXPECT_EQ(GSInt(value_), 1001);
    }
    Meter().SetLimit(limit);
  }
  GSObjectReference::Release(headRef);
}

TEST_F(AllocationMeterTest, TextsStopAtTheLengthCap) {
  constexpr size_t kMax = GSString::kMaxLength;
  const std::string full(kMax, 'f');
  const std::string_view view(full);
  GSString* s = GSString::Create(view.substr(1), context_.get());
  ASSERT_NE(s, nullptr);
  GSString* two = GSString::Create("ab", context_.get());
  ASSERT_NE(two, nullptr);
  struct Case {
    const char* what;
    bool (*operation)(GSString& s, GSString& two, std::string_view full);
    bool done;
    size_t length;  // of s afterwards
  };
  const Case cases[] = {
      {"append past the cap", [](GSString& x, GSString&, std::string_view) { return x.Append("ab"); },
       false, kMax - 1},
      {"splice past the cap",
       [](GSString& x, GSString& pair, std::string_view) { return GSString::Splice(x, 5, 5, &pair); },
       false, kMax - 1},
      {"assign past the cap",
       [](GSString& x, GSString&, std::string_view whole) {
         return x.Assign(std::string(whole) + "x");
       },
       false, kMax - 1},
      {"reserve past the cap", [](GSString& x, GSString&, std::string_view) {
         return x.Reserve(kMax + 1);
       }, false, kMax - 1},
      {"append up to the cap", [](GSString& x, GSString&, std::string_view) { return x.Append("a"); },
       true, kMax},
      {"splice within the cap",
       [](GSString& x, GSString& pair, std::string_view) { return GSString::Splice(x, 0, 2, &pair); },
       true, kMax},
  };
  for (const Case& c : cases) {
    const uint64_t refusals = GSRefusalCount();
    EXPECT_EQ(c.operation(*s, *two, view), c.done) << c.what;
    EXPECT_EQ(s->text.size(), c.length) << c.what;
    EXPECT_EQ(GSRefusalCount(), refusals + (c.done ? 0 : 1)) << c.what;
    if (!c.done) {
      EXPECT_EQ(GSLastRefusal(), ER_StringOutOfBounds) << c.what;
    }
  }
  EXPECT_EQ(s->text.substr(0, 3), "abf");
  EXPECT_EQ(GSString::Create(full + "x", context_.get()), nullptr);
  EXPECT_EQ(GSString::CreateJoined(full, "x", context_.get()), nullptr);
  GSString* exact = GSString::CreateJoined(view.substr(1), "x", context_.get());
  ASSERT_NE(exact, nullptr);
  EXPECT_EQ(exact->text.size(), kMax);
  EXPECT_EQ(exact->text.capacity(), kMax);
  for (GSString* string : {s, two, exact}) GSObjectReference::Release(string->GetScriptInstance());
}

TEST_F(AllocationMeterTest, TextsTakeInPartsOfThemselves) {
  GSString* s = GSString::Create("abc", context_.get());
  ASSERT_NE(s, nullptr);
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(s->Append(s->text));  // each time new storage
  EXPECT_EQ(s->text.size(), 3u << 6);
  EXPECT_EQ(s->text.substr(0, 7), "abcabca");
  ASSERT_TRUE(s->Append(std::string_view(s->text).substr(1, 2)));
  EXPECT_EQ(s->text.substr(s->text.size() - 5), "abcbc");
  ASSERT_TRUE(s->Assign(std::string_view(s->text).substr(1, 4)));
  EXPECT_EQ(s->text, "bcab");
  ASSERT_TRUE(GSString::Splice(*s, 1, 2, s));
  EXPECT_EQ(s->text, "bbcabab");
  GSString* t = GSString::Create("xyz", context_.get());
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(GSString::Substring(*t, 1, -1, *t));
  EXPECT_EQ(t->text, "yz");
  GSObjectReference::Release(s->GetScriptInstance());
  GSObjectReference::Release(t->GetScriptInstance());
}

TEST_F(AllocationMeterTest, DataMovedByANativeIsChargedToTheBudget) {
  print_->lines.clear();
  EXPECT_EQ(Run("$int@Hoard::Busy(int)", {GSFromInt(1000)}), ER_Done);
  EXPECT_EQ(Run("$int@Hoard::Busy(int)", {GSFromInt(int32_t(kGSRunBudget))}), ER_Timeout);
  ASSERT_FALSE(print_->lines.empty());
  EXPECT_EQ(print_->lines[0], "Thread Exception: ER_Timeout, line 24, file hoard.gs");
}

}  // namespace
