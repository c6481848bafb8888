#include "gsruntime/GSThread.h"

#include <cstdio>
#include <string>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSRouter.h"

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

GSThread::~GSThread() {
  Reset();
}

GSResult GSThread::Execute(float elapsed) {
  if (interpreter != nullptr) return interpreter(*this, elapsed);
  if (state == Waiting) {
    if (timer == 0.0f) return ER_Blocked;  // waiting for a message
    timer -= elapsed;
    if (timer > 0.0f) return ER_Blocked;
    timer = 0.0f;
  }
  DropWait();
  return GSInterpret(*this);
}

void GSThread::DropWait() {
  if (owner != nullptr)
    for (const Block& entry : waitList) owner->Unsubscribe(entry.major);
  waitList.clear();
}

namespace {

const GSThread::Block* FindEntry(const std::vector<GSThread::Block>& list,
                                 const GSMessage& message) {
  for (const GSThread::Block& entry : list)
    if (entry.major == message.major &&
        (entry.minor == GSRouter::kAnyType || entry.minor == message.minor))
      return &entry;
  return nullptr;
}

}  // namespace

bool GSThread::PostToQueue(const GSMessageRef& message, bool deliver) {
  if (owner == nullptr || owner->Context() == nullptr || owner->Router() == nullptr || !message)
    return false;
  const Block* entry = FindEntry(waitList, *message);
  if (state == Waiting) {
    if (entry == nullptr) return false;
    resumeOffset = entry->target;
    const GSValue object = owner->Context()->MakeMessageObject(*message);
    if (!stack_.Push(object)) {
      GSObjectReference::Release(object);
      return false;
    }
    state = Runnable;
    timer = 0.0f;
    return true;
  }
  if (entry == nullptr) return false;
  if (!deliver) return true;
  if (queue.size() < kQueueLimit) {
    queue.push_back(message);
    return true;
  }
  // The queue and the new message are dropped; the report keeps them.
  char head[128];
  std::snprintf(head, sizeof head,
                "Message Queue Overflow for node %d (discarded message follows)\n",
                static_cast<int>(owner->Id()));
  std::string report = head;
  owner->Router()->TraceMessage(*message, report);
  std::snprintf(head, sizeof head, " thread state is %d\n", static_cast<int>(state));
  report += head;
  report += " messages already in queue follow:\n";
  for (const GSMessageRef& queued : queue) owner->Router()->TraceMessage(*queued, report);
  Exception(report.c_str(), true);
  ClearQueue();
  return true;
}

bool GSThread::OfferQueuedMessages() {
  if (owner == nullptr) return state == Runnable;
  for (size_t n = queue.size(); n > 0; --n) {
    const GSMessageRef message = std::move(queue.front());
    queue.pop_front();
    // While the thread waits, a match resumes it with this message; once it
    // has resumed, a match stays queued for the next wait.
    const bool delivers = state == Waiting;
    if (PostToQueue(message, false) && !delivers) queue.push_back(message);
  }
  return state == Runnable;
}

void GSThread::Reset() {
  stack_.Clear();
  if (owner != nullptr) {
    ClearQueue();
    DropWait();
  }
  waitList.clear();
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
