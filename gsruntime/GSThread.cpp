#include "gsruntime/GSThread.h"

#include "gsruntime/GSClass.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSReference.h"

namespace GSRuntime {

namespace {
GSThread::Interpreter interpreter = nullptr;
}  // namespace

void GSThread::SetInterpreter(Interpreter entry) {
  interpreter = entry;
}

bool GSThread::SaveState(SavedState& saved) {
  const SavedState now{stack_.CurrentFrame(), stack_.Top(), state, resumeOffset};
  if (!stack_.Push(0)) return false;
  saved = now;
  stack_.SetCurrentFrame(nullptr);
  return true;
}

void GSThread::RestoreState(const SavedState& saved) {
  stack_.SetCurrentFrame(saved.frame);
  stack_.SetTop(saved.top);
  state = saved.state;
  resumeOffset = saved.resumeOffset;
}

GSResult GSThread::Execute(float elapsed) {
  if (interpreter != nullptr) return interpreter(*this, elapsed);
  if (state == Waiting) {
    if (timer == 0.0f) return ER_Blocked;  // waiting for a message
    timer -= elapsed;
    if (timer > 0.0f) return ER_Blocked;
    timer = 0.0f;
  }
  return GSInterpret(*this);
}

void GSThread::Reset() {
  stack_.Clear();
  state = Runnable;
  resumeOffset = 0;
  flags = 0;
  timer = 0.0f;
}

GSResult GSRunFunction(GSThread& thread, const GSFunction& fn, GSValue object,
                       std::span<const GSValue> args, GSValue* result) {
  if (args.size() + 1 != fn.params) return ER_NoStackFrame;
  GSThread::SavedState saved;
  if (!thread.SaveState(saved)) return ER_StackOverflow;
  GSStack& stack = thread.Stack();
  GSValue* slot0 = stack.Top() + 1;
  bool pushed = stack.Push(object);
  for (size_t i = 0; pushed && i < args.size(); ++i) pushed = stack.Push(args[i]);
  if (!pushed || !stack.PushFrame(fn, 0)) {
    thread.RestoreState(saved);
    return ER_StackOverflow;
  }
  GSObjectReference::AddRef(object);
  for (uint32_t i = 0; i < fn.referenceSlots.count; ++i)
    if (fn.referenceSlots.At(i) < fn.params)
      GSObjectReference::AddRef(slot0[fn.referenceSlots.At(i)]);
  thread.state = GSThread::Runnable;
  thread.resumeOffset = 0;
  const GSResult outcome = thread.Execute(0.0f);
  if (outcome == ER_Done && fn.ReturnsValue()) {
    const GSValue value = *stack.Top();
    if (result != nullptr)
      *result = value;
    else if (GSIsReferenceType(fn.returnType))
      GSObjectReference::Release(value);
  }
  if (outcome != ER_Done) stack.Clear();
  thread.RestoreState(saved);
  return outcome;
}

}  // namespace GSRuntime
