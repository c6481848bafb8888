// The byte-code interpreter behind GSThread::Execute, in pieces by concern:
// - GSInterpreter.cpp: entering a run and the opcode dispatch (one handler
//   per opcode, through a 256-entry table of labels);
// - GSCallFrames.cpp: what calls and returns do to frames (method lookup,
//   the checks a callee must pass, native calls, object creation);
// - GSThreadException.cpp: the run's bookkeeping (nesting depth, the
//   shared instruction budget, the saved current thread and context) and
//   the exception exit with its stack dump.
// Only GSThread.cpp, GSAllocationMeter.cpp (which charges moved data to
// the budget) and these files include this header.
//
// Not thread-safe: one system thread runs every script thread.
#pragma once

#include <cstdint>

#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSThread.h"
#include "gsruntime/GSValue.h"

namespace GSRuntime {

// Code bytes one outermost run (with the runs nested in it) may traverse.
inline constexpr uint64_t kGSRunBudget = 0x1000000;

// Runs `thread` from the resume offset of its current frame (steps after
// the sleep check of GSThread::Execute).
GSResult GSInterpret(GSThread& thread);

// The run's bookkeeping: the constructor raises the nesting depth (an
// outermost run starts the budget from 0), saves the current thread and
// context and makes the thread current; the destructor lowers the depth
// and restores both.
class GSRunScope {
 public:
  explicit GSRunScope(GSThread& thread);
  ~GSRunScope();
  GSRunScope(const GSRunScope&) = delete;
  GSRunScope& operator=(const GSRunScope&) = delete;

 private:
  GSThread* savedThread_;
  class GSContext* savedContext_;
};

// Code bytes charged so far to the outermost run and the runs nested in it.
inline uint64_t gsRunBudgetUsed = 0;
// What one outermost run may traverse: kGSRunBudget, lowered by hosts that
// run untrusted code many times over (the library fuzz target). An outermost
// run starts with kGSRunBudget minus this already charged, so that the
// charge itself compares with a constant.
inline uint64_t gsRunBudgetAllowance = kGSRunBudget;

// Adds `bytes` to the shared budget; false once it is exceeded.
inline bool GSChargeBudget(uint64_t bytes) {
  gsRunBudgetUsed += bytes;
  return gsRunBudgetUsed <= kGSRunBudget;
}

// The exception exit: prints "Thread Exception: %s, line %d, file %s" for
// `code` at code offset `at` of `fn` (line -1 and an empty file without a
// function), "Stack Dump..." and the frames, clears the stack and stops the
// thread. Answers `code`.
GSResult GSThreadFail(GSThread& thread, GSResult code, const GSFunction* fn, uint32_t at);

// Entry `index` of the method table that the block of `view` points into;
// null when it lies outside the table of the instance's class.
inline const GSMethodEntry* GSMethodOf(GSValue view, uint32_t index) {
  const GSScriptInstance* instance = GSScriptInstance::FromRef(view);
  if (instance->cls == nullptr) return nullptr;
  const std::vector<GSMethodEntry>& methods = instance->cls->methods;
  const uintptr_t start = reinterpret_cast<uintptr_t>(methods.data());
  const uintptr_t at = static_cast<uintptr_t>(GSBlockOf(view)[1]);
  if (at < start) return nullptr;
  // One division: the quotient both places the entry and proves that the
  // pointer lands on an entry's start.
  const uint64_t first = (at - start) / sizeof(GSMethodEntry);
  if (first * sizeof(GSMethodEntry) != at - start) return nullptr;
  const uint64_t entry = first + index;
  return entry < methods.size() ? &methods[entry] : nullptr;
}

// The callee of the call site at `callAt` of `caller`, whose object lies at
// `args` (the arguments above it): its argument count, the kinds of its
// arguments and the kind of its result must be what the site was verified
// for (GSCallSite). A site whose result only goes on as an argument records
// the callee's result kind at `args`, where the result will lie, for the
// call that takes it.
bool GSWideCallFits(const GSCallSite& site, const GSFunction& callee, const GSValue* args,
                    const GSStack& stack);

// GSCalleeFitsAt: the same for the site already found (null: none).
[[gnu::always_inline]] inline bool GSCalleeFitsAt(const GSCallSite* site, const GSFunction& callee,
                                                  const GSValue* args, GSStack& stack) {
  if (site == nullptr || callee.params != site->argumentSlots) return false;
  if (site->leaves == GSCallSite::kCallResultPassedOn) {
    if (callee.returnKind == kKindNone) return false;
    stack.SetResultKind(args, callee.returnKind);
  } else if (site->leaves != callee.returnKind) {
    return false;
  }
  if (!site->wide.empty() || site->passedOn != 0) return GSWideCallFits(*site, callee, args, stack);
  return (callee.paramRefs & site->known) == site->refs;
}

[[gnu::always_inline]] inline bool GSCalleeFits(const GSFunction& caller, uint32_t callAt,
                                                const GSFunction& callee, const GSValue* args,
                                                GSStack& stack) {
  return GSCalleeFitsAt(caller.CallAt(callAt), callee, args, stack);
}

// What a native call that did not end plainly ends with, in the order
// GSRunNative gives (out of line: rare).
GSResult GSNativeOutcome(const GSThread& thread, uint64_t refusals);

// Runs the native function of the current frame (pushed for `callee`, with
// `me` in slot 0) and removes the frame: ER_Done to go on, ER_Blocked when
// the native left the thread waiting, else the error; a string or array
// refused during the call ends it with the refusal's error, and data moved
// past the budget with ER_Timeout (GSAllocationMeter.h). Inline: the
// interpreter's call of a native runs it.
[[gnu::always_inline]] inline GSResult GSRunNative(GSThread& thread, const GSFunction& callee,
                                                   GSValue me) {
  GSStack& stack = thread.Stack();
  GSNativeFunction* binding = callee.native;
  const uint64_t refusals = GSRefusalCount();
  if (binding == nullptr || !binding->Call(GSScriptInstance::FromRef(me)->native, stack))
    return ER_NativeCallError;
  if (!stack.PopNativeFrame()) return ER_StackReturnError;
  // A string or array the native could not make, and the data it moved,
  // count as the native call's own (GSAllocationMeter.h).
  if (thread.state == GSThread::Runnable && GSRefusalCount() == refusals &&
      gsRunBudgetUsed <= kGSRunBudget) [[likely]]
    return ER_Done;
  return GSNativeOutcome(thread, refusals);
}

// GSRunNative for the frame a host call pushed.
inline GSResult GSCallNative(GSThread& thread, const GSFunction& callee) {
  return GSRunNative(thread, callee, *GSStack::FrameSlot0(thread.Stack().CurrentFrame()));
}

// A new object of `cls` in the current context, its initialisers run; the
// reference carries the count of creation. Null when it cannot be made.
// Game objects (classes deriving from "GameObject") are registered with
// the running context's router when it has one.
GSValue GSNewObject(GSClass* cls);

// START: a new thread of the game object behind `view` (the object seen
// through the callee's class) with the view and the arguments pushed and a
// frame for `callee`; ER_Done when started (the counts of the view and the
// arguments move to the new thread), else ER_ThreadError (not a game
// object on a router, or no thread to be had), ER_IllegalInstruction (no
// code) or ER_StackOverflow, with nothing moved.
GSResult GSStartThread(const GSFunction& callee, GSValue view, const GSValue* args,
                       uint32_t argumentCount);

// WAIT with `count` entries at `operands` (after the count): the wait list,
// subscriptions and waiting state of `thread`, then the queued messages
// offered. ER_Blocked, or ER_ThreadError for a thread that cannot wait.
GSResult GSWait(GSThread& thread, const GSFunction& fn, const uint8_t* operands, uint32_t count);

}  // namespace GSRuntime
