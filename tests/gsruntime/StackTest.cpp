// The script stack on hand-made function records: room checks with their
// messages, returns, releases and the stack trace.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "RuntimeTestSupport.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSObjectReference.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSStack.h"
#include "gsruntime/GSString.h"

namespace {

using namespace GSRuntime;

// Function records whose word tables live as long as the set.
class Records {
 public:
  // P = params (the object included), L locals, no temporaries, D depth.
  const GSFunction& Make(const char* name, uint32_t params, uint32_t locals, uint32_t depth,
                         std::vector<uint32_t> refs = {}, std::vector<uint32_t> lines = {}) {
    GSFunction& fn = functions_.emplace_back();
    fn.name = name;
    fn.params = params;
    fn.advance = locals + 4;
    fn.recordOffset = locals + 1;
    fn.slot0Offset = 1 - params;
    fn.slotsNeeded = locals + 4 + depth;
    fn.referenceSlots = Table(refs, 1);
    fn.lines = Table(lines, 2);
    return fn;
  }

 private:
  GSWordTable Table(const std::vector<uint32_t>& words, uint32_t width) {
    std::vector<uint8_t>& bytes = words_.emplace_back();
    for (uint32_t w : words)
      for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(w >> (8 * b)));
    return GSWordTable{bytes.data(), static_cast<uint32_t>(words.size() / width), width};
  }

  std::deque<GSFunction> functions_;
  std::deque<std::vector<uint8_t>> words_;
};

// Pushes the object and arguments, then the frame.
bool Enter(GSStack& stack, const GSFunction& fn, std::vector<GSValue> slots,
           uint32_t returnOffset = 0) {
  for (GSValue v : slots)
    if (!stack.Push(v)) return false;
  return stack.PushFrame(fn, returnOffset);
}

TEST(GSStackTest, FrameThatNeedsExactlyTheFreeRoomFits) {
  GSTest::PrintCapture print;
  Records records;
  GSStack stack;
  const GSFunction& outer = records.Make("$void@A::Outer()", 1, 2, 1);
  const GSFunction& inner = records.Make("$void@A::Inner()", 1, 0, 2);
  ASSERT_TRUE(Enter(stack, outer, {0}));
  ASSERT_TRUE(Enter(stack, inner, {0}));
  while (stack.Used() < GSStack::kCapacity - 10) ASSERT_TRUE(stack.Push(0));
  GSValue* top = stack.Top();
  // The callee's object is pushed by the caller: 9 slots remain free.
  const GSFunction& fits = records.Make("$void@A::Fits()", 1, 3, 2);  // needs 3 + 4 + 2 = 9
  const GSFunction& tooBig = records.Make("$void@A::TooBig()", 1, 3, 3);
  ASSERT_TRUE(stack.Push(0));
  EXPECT_FALSE(stack.PushFrame(tooBig, 0));
  EXPECT_EQ(stack.Top(), top + 1);
  EXPECT_EQ(print.lines,
            (std::vector<std::string>{"GSStack overflow...", "function $void@A::Inner()",
                                      "function $void@A::Outer()"}));
  EXPECT_TRUE(stack.PushFrame(fits, 0));
  EXPECT_EQ(stack.Used(),
            GSStack::kCapacity - 2);  // the record's last slot; two operand slots free
}

TEST(GSStackTest, ReturnValueNeedsExactlyOneValue) {
  struct Case {
    const char* what;
    std::vector<GSValue> pushed;
    bool allowEmpty;
    bool ok;
    GSValue value;
    const char* message;
  } cases[] = {
      {"one value", {7}, false, true, 7, nullptr},
      {"nothing, allowed", {}, true, true, 0, nullptr},
      {"nothing, not allowed", {}, false, false, 0, "GSStack::ReturnValue> diff=3"},
      {"two values", {1, 2}, true, false, 0, "GSStack::ReturnValue> diff=5"},
  };
  Records records;
  const GSFunction& native = records.Make("$int@A::Native(int)", 2, 0, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GSTest::PrintCapture print;
    GSStack stack;
    ASSERT_TRUE(Enter(stack, native, {0, 42}));
    GSValue* record = stack.CurrentFrame();
    for (GSValue v : c.pushed) stack.Push(v);
    EXPECT_EQ(stack.ReturnValue(c.allowEmpty), c.ok);
    if (c.ok) {
      EXPECT_EQ(stack.Used(), 1u);  // the object's slot now holds the value
      EXPECT_EQ(*stack.Top(), c.value);
    } else {
      EXPECT_EQ(stack.CurrentFrame(), record);
      EXPECT_EQ(print.lines, std::vector<std::string>{c.message});
    }
  }
}

TEST(GSStackTest, PoppingAFrameReleasesItsReferencesAndTheObject) {
  Records records;
  GSStack stack;
  const GSFunction& fn = records.Make("$void@A::Take(string,int)", 3, 1, 1, {1, 3});
  ASSERT_TRUE(stack.Push(5));
  GSValue* caller = stack.Top();
  const GSValue me = GSString::Create("me", nullptr)->GetScriptInstance();
  const GSValue arg = GSString::Create("arg", nullptr)->GetScriptInstance();
  ASSERT_TRUE(Enter(stack, fn, {me, arg, 9}));
  stack.FrameSlot0(stack.CurrentFrame())[3] =
      GSString::Create("local", nullptr)->GetScriptInstance();
  EXPECT_EQ(GSScriptInstance::LiveCount(), 3);
  ASSERT_TRUE(stack.Push(1));
  EXPECT_FALSE(stack.PopFrame());  // a value is left on the operand stack
  stack.SetTop(stack.Top() - 1);
  ASSERT_TRUE(stack.PopFrame());
  EXPECT_EQ(stack.Top(), caller);
  EXPECT_EQ(stack.CurrentFrame(), nullptr);
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
}

// A native's frame is left as PopFrame (no result) or ReturnValue(true)
// (a result) leaves it, whether its reference slots come as a mask or
// through the table, with two reference arguments, one or none.
TEST(GSStackTest, NativeFrameLeavesAsPopFrameOrReturnValueWould) {
  struct Case {
    const char* what;
    const char* signature;
    std::vector<GSValue> pushed;
  } cases[] = {
      {"void, nothing pushed", "$void@A::N(string,int,string)", {}},
      {"void, one value pushed", "$void@A::N(string,int,string)", {7}},
      {"result pushed", "$int@A::N(string,int,string)", {7}},
      {"result missing", "$int@A::N(string,int,string)", {}},
      {"two values pushed", "$int@A::N(string,int,string)", {1, 2}},
  };
  const std::vector<std::vector<uint32_t>> refSets = {{1, 3}, {3}, {}};
  for (const Case& c : cases) {
    for (const std::vector<uint32_t>& refs : refSets) {
      for (const bool byMask : {false, true}) {
        SCOPED_TRACE(std::string(c.what) + (byMask ? ", mask" : ", table") + ", " +
                     std::to_string(refs.size()) + " references");
        struct Outcome {
          bool ok;
          uint32_t used;
          GSValue top;
          int64_t live;
          std::vector<std::string> lines;
        } outcomes[2];
        for (const bool native : {false, true}) {
          GSTest::PrintCapture print;
          Records records;
          GSFunction& fn = const_cast<GSFunction&>(records.Make(c.signature, 4, 0, 2, refs));
          fn.returnType = c.signature[1] == 'i' ? 1 : 0;
          fn.releaseByMask = byMask;
          fn.releaseMask = 0;
          for (uint32_t slot : refs)
            if (byMask) fn.releaseMask |= uint64_t{1} << slot;
          GSStack stack;
          ASSERT_TRUE(stack.Push(5));
          const GSValue me = GSString::Create("me", nullptr)->GetScriptInstance();
          // A slot that is not a reference holds a number.
          std::vector<GSValue> slots = {me, 8, 9, 10};
          for (uint32_t slot : refs)
            slots[slot] = GSString::Create("a", nullptr)->GetScriptInstance();
          ASSERT_TRUE(Enter(stack, fn, slots));
          for (GSValue v : c.pushed) stack.Push(v);
          Outcome& o = outcomes[native ? 1 : 0];
          o.ok = native ? stack.PopNativeFrame()
                        : (fn.ReturnsValue() ? stack.ReturnValue(true) : stack.PopFrame());
          o.used = stack.Used();
          o.top = *stack.Top();
          o.live = GSScriptInstance::LiveCount();
          o.lines = print.lines;
          stack.Clear();
          EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
        }
        EXPECT_EQ(outcomes[1].ok, outcomes[0].ok);
        EXPECT_EQ(outcomes[1].used, outcomes[0].used);
        EXPECT_EQ(outcomes[1].top, outcomes[0].top);
        EXPECT_EQ(outcomes[1].live, outcomes[0].live);
        EXPECT_EQ(outcomes[1].lines, outcomes[0].lines);
      }
    }
  }
}

// The interpreter's own forms: EnterFrame pushes what PushFrame pushes
// (record, zeroed locals, top) and refuses at the same room with the same
// report; LeaveFrame then leaves as ReturnValue does once the result is
// stored, releasing the same slots.
TEST(GSStackTest, EnterAndLeaveFrameDoWhatPushFrameAndReturnValueDo) {
  struct Case {
    const char* what;
    uint32_t locals;
    uint32_t depth;
    uint32_t free;  // slots left free above the arguments
  } cases[] = {
      {"room to spare", 2, 3, 40},
      {"exactly the room", 3, 2, 9},
      {"one slot short", 3, 3, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    struct Outcome {
      bool entered;
      uint32_t used;
      std::vector<GSValue> frame;  // slot 0 to the record's last slot
      std::vector<std::string> lines;
      int64_t liveAfterReturn = 0;
      uint32_t usedAfterReturn = 0;
      uint32_t returnOffset = 0;
    } outcomes[2];
    for (const bool entering : {false, true}) {
      GSTest::PrintCapture print;
      Records records;
      const GSFunction& outer = records.Make("$void@A::Outer()", 1, 0, 1);
      const GSFunction& fn = records.Make("$int@A::F(string,int)", 3, c.locals, c.depth, {1});
      GSStack stack;
      ASSERT_TRUE(Enter(stack, outer, {0}));
      const GSValue* outerRecord = stack.CurrentFrame();
      // Leftovers above the top, which the locals must not inherit.
      while (stack.Used() < GSStack::kCapacity) ASSERT_TRUE(stack.Push(0x5a5a));
      stack.SetTop(stack.Base() + (GSStack::kCapacity - c.free - 4));
      const GSValue me = GSString::Create("me", nullptr)->GetScriptInstance();
      const GSValue arg = GSString::Create("arg", nullptr)->GetScriptInstance();
      for (GSValue v : {me, arg, GSValue{9}}) ASSERT_TRUE(stack.Push(v));
      Outcome& o = outcomes[entering ? 1 : 0];
      o.entered = entering ? stack.EnterFrame(fn, stack.Top(), 17) : stack.PushFrame(fn, 17);
      o.used = stack.Used();
      o.lines = print.lines;
      if (!o.entered) {  // the stack as it was: the object and arguments on top
        EXPECT_EQ(*stack.Top(), 9u);
        stack.Clear();
        GSObjectReference::Release(me);
        GSObjectReference::Release(arg);
        continue;
      }
      GSValue* slot0 = GSStack::FrameSlot0(stack.CurrentFrame());
      EXPECT_EQ(slot0, stack.Top() - (c.locals + 4 + 2));
      // The frame with its addresses and objects as whether they are the
      // ones expected.
      o.frame.assign(slot0, stack.Top() + 1);
      GSValue* words = o.frame.data() + o.frame.size() - GSStack::kRecordSlots;
      o.frame[0] = o.frame[0] == me;
      o.frame[1] = o.frame[1] == arg;
      words[0] = GSStack::FrameFunction(stack.CurrentFrame()) == &fn;
      words[2] = GSStack::FramePrevious(stack.CurrentFrame()) == outerRecord;
      words[3] = GSStack::FrameSlot0(stack.CurrentFrame()) == slot0;
      ASSERT_TRUE(stack.Push(42));
      if (entering) {
        const GSValue* record = stack.CurrentFrame();
        stack.LeaveFrame(record);
        *slot0 = 42;
        stack.SetTop(slot0);
      } else {
        ASSERT_TRUE(stack.ReturnValue(false));
      }
      o.returnOffset = stack.LastReturnOffset();
      o.usedAfterReturn = stack.Used();
      o.liveAfterReturn = GSScriptInstance::LiveCount();
      EXPECT_EQ(*stack.Top(), 42u);
      stack.Clear();
    }
    EXPECT_EQ(outcomes[1].entered, outcomes[0].entered);
    EXPECT_EQ(outcomes[1].entered, c.locals + 4 + c.depth <= c.free);
    EXPECT_EQ(outcomes[1].used, outcomes[0].used);
    EXPECT_EQ(outcomes[1].frame, outcomes[0].frame);
    EXPECT_EQ(outcomes[1].lines, outcomes[0].lines);
    EXPECT_EQ(outcomes[1].returnOffset, outcomes[0].returnOffset);
    EXPECT_EQ(outcomes[1].usedAfterReturn, outcomes[0].usedAfterReturn);
    EXPECT_EQ(outcomes[1].liveAfterReturn, outcomes[0].liveAfterReturn);
    EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
  }
}

TEST(GSStackTest, ClearReleasesEveryFrame) {
  Records records;
  GSStack stack;
  const GSFunction& fn = records.Make("$void@A::F(string)", 2, 0, 1, {1});
  for (int i = 0; i < 3; ++i) {
    const GSValue me = GSString::Create("me", nullptr)->GetScriptInstance();
    ASSERT_TRUE(Enter(stack, fn, {me, GSString::Create("a", nullptr)->GetScriptInstance()}));
  }
  EXPECT_EQ(GSScriptInstance::LiveCount(), 6);
  stack.Clear();
  EXPECT_TRUE(stack.Empty());
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
}

TEST(GSStackTest, TraceFramesGivesTheCallSiteLines) {
  GSTest::PrintCapture print;
  Records records;
  GSStack stack;
  const GSFunction& main = records.Make("$void@A::Main()", 1, 0, 1, {}, {0, 10, 6, 11, 12, 12});
  const GSFunction& middle = records.Make("$void@A::Middle()", 1, 0, 1, {}, {0, 20, 4, 21});
  const GSFunction& inner = records.Make("$void@A::Inner()", 1, 0, 1, {}, {0, 30});
  ASSERT_TRUE(Enter(stack, main, {0}));
  ASSERT_TRUE(Enter(stack, middle, {0}, 9));  // called from Main at offset 9: line 11
  ASSERT_TRUE(Enter(stack, inner, {0}, 2));   // called from Middle at offset 2: line 20
  stack.TraceFrames();
  EXPECT_EQ(print.lines, (std::vector<std::string>{"function $void@A::Inner(), line -1",
                                                   "function $void@A::Middle(), line 20",
                                                   "function $void@A::Main(), line 11"}));
  EXPECT_EQ(main.LineForOffset(100), 12);
  EXPECT_EQ(records.Make("$void@A::NoLines()", 1, 0, 0).LineForOffset(0), -1);
}

TEST(GSStackTest, PushHelpersStopAtTheEnd) {
  GSStack stack;
  while (stack.Used() < GSStack::kCapacity) ASSERT_TRUE(stack.Push(0));
  EXPECT_FALSE(stack.Push(1));
  EXPECT_EQ(stack.PushString("lost"), 0u);
  GSString* object = GSString::Create("mine", nullptr);
  EXPECT_EQ(stack.PushObject(nullptr, object), 0u);  // the handed-over count is released
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
}

}  // namespace
