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
