// The run's bookkeeping (nesting depth, the shared budget, the current
// thread and context) and the errors of script threads: the exception
// exit with its stack dump, and GSThread::Exception for host code.
#include <algorithm>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSRunState.h"

namespace GSRuntime {

namespace {

uint32_t runDepth = 0;

constexpr const char* kResultNames[] = {
    "ER_Done",
    "ER_Blocked",
    "ER_IllegalInstruction",
    "ER_DivideByZero",
    "ER_NullArrayReference",
    "ER_ArrayOutOfBounds",
    "ER_ArrayRangeError",
    "ER_NullStringReference",
    "ER_StringOutOfBounds",
    "ER_NullReference",
    "ER_ClassCreateError",
    "ER_NativeCallError",
    "ER_StackOverflow",
    "ER_NoStackFrame",
    "ER_ThreadError",
    "ER_StackReturnError",
    "ER_Exception",
    "ER_LinkError",
    "ER_Timeout",
};
static_assert(sizeof kResultNames / sizeof kResultNames[0] == ER_Timeout + 1);

}  // namespace

const char* GSThread::ResultName(uint32_t code) {
  return code <= ER_Timeout ? kResultNames[code] : "ER_Unknown";
}

GSRunScope::GSRunScope(GSThread& thread)
    : savedThread_(CurrentThread()), savedContext_(CurrentContext()) {
  if (runDepth++ == 0)
    gsRunBudgetUsed = kGSRunBudget - std::min(gsRunBudgetAllowance, kGSRunBudget);
  SetCurrentThread(&thread);
  SetCurrentContext(thread.Stack().GetContext());
}

GSRunScope::~GSRunScope() {
  --runDepth;
  SetCurrentThread(savedThread_);
  SetCurrentContext(savedContext_);
}

GSResult GSThreadFail(GSThread& thread, GSResult code, const GSFunction* fn, uint32_t at) {
  const int line = fn != nullptr ? static_cast<int>(fn->LineForOffset(at)) : -1;
  const char* file = fn != nullptr && fn->library != nullptr ? fn->library->Name().c_str() : "";
  GSPrint("Thread Exception: %s, line %d, file %s", GSThread::ResultName(code), line, file);
  thread.state = GSThread::Stopped;
  GSPrint("Stack Dump...");
  thread.Stack().TraceFrames();
  thread.Stack().Clear();
  return code;
}

void GSThread::Exception(const char* text, bool keepRunning) {
  if (!keepRunning) state = Stopped;
  const GSValue* record = stack_.CurrentFrame();
  const GSFunction* fn = record != nullptr ? GSStack::FrameFunction(record) : nullptr;
  if (fn == nullptr || fn->library == nullptr) {
    GSPrint("%s", text);
    return;
  }
  GSPrint("%s (file %s)", text, fn->library->Name().c_str());
}

}  // namespace GSRuntime
