// Calls and the frames they make: method lookup, the checks a callee must
// pass, native calls and object creation for the interpreter.
#include <new>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSScriptInstance.h"

namespace GSRuntime {

const GSMethodEntry* GSMethodOf(GSValue view, uint32_t index) {
  const GSScriptInstance* instance = GSScriptInstance::FromRef(view);
  if (instance->cls == nullptr) return nullptr;
  const std::vector<GSMethodEntry>& methods = instance->cls->methods;
  const uintptr_t start = reinterpret_cast<uintptr_t>(methods.data());
  const uintptr_t at = static_cast<uintptr_t>(GSBlockOf(view)[1]);
  if (at < start || (at - start) % sizeof(GSMethodEntry) != 0) return nullptr;
  const uint64_t entry = (at - start) / sizeof(GSMethodEntry) + index;
  return entry < methods.size() ? &methods[entry] : nullptr;
}

bool GSCalleeFits(const GSFunction& caller, uint32_t callAt, const GSFunction& callee,
                  uint32_t argumentSlots) {
  return callee.params == argumentSlots && callee.ReturnsValue() == caller.CallLeavesValue(callAt);
}

GSResult GSCallNative(GSThread& thread, const GSFunction& callee) {
  GSStack& stack = thread.Stack();
  const GSValue me = *GSStack::FrameSlot0(stack.CurrentFrame());
  GSNativeFunction* binding = callee.native;
  if (binding == nullptr || !binding->Call(GSScriptInstance::FromRef(me)->native, stack))
    return ER_NativeCallError;
  const bool returned = callee.ReturnsValue() ? stack.ReturnValue(true) : stack.PopFrame();
  if (!returned) return ER_StackReturnError;
  if (thread.state == GSThread::Stopped) return ER_Exception;
  if (thread.state == GSThread::Waiting) return ER_Blocked;
  return ER_Done;
}

GSValue GSNewObject(GSClass* cls) {
  if (cls == nullptr) return 0;
  GSObject* object = new (std::nothrow) GSObject;
  if (object == nullptr) return 0;
  if (!object->AttachScriptInstance(cls, CurrentContext())) {
    delete object;
    return 0;
  }
  return object->GetScriptInstance();
}

}  // namespace GSRuntime
