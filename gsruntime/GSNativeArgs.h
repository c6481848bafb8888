// Reading a native's arguments from the current frame of the stack (slot 0
// the calling object, the parameters from slot 1), and reporting a bad one.
//
// - GSNativeArg(stack, index): argument slot `index` of the current frame;
//   0 when there is no frame or the function has no such slot.
// - GetFloatArg(stack, index): that slot read as a 32-bit float.
// - GetObjectParam<T>(stack, index, out, nullAllowed): the native object
//   behind argument slot `index` cast to T (by run-time type, GSNativeCast.h) in
//   `out`. A
//   null slot gives a null `out`: true when null is allowed, else the
//   thread stops with "null object at parameter %d"; an object that is not
//   a T stops it with "incorrect parameter type at parameter %d" (the
//   number is the slot index, so the first parameter is 1). On false the
//   native must return at once and push nothing; the interpreter then ends
//   the run with ER_Exception.
// - GSNativeRefuse(format, index): stops the running thread
//   (GSThread::Exception) with the formatted text.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <cstdint>

#include "gsruntime/GSNativeCast.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSStack.h"
#include "gsruntime/GSValue.h"

namespace GSRuntime {

// Inline: every native reads its arguments through it.
[[gnu::always_inline]] inline GSValue GSNativeArg(const GSStack& stack, uint32_t index) {
  const GSValue* record = stack.CurrentFrame();
  if (record == nullptr || index >= GSStack::FrameFunction(record)->params) return 0;
  return GSStack::FrameSlot0(record)[index];
}

void GSNativeRefuse(const char* format, uint32_t index);

inline float GetFloatArg(const GSStack& stack, uint32_t index) {
  return GSFloat(GSNativeArg(stack, index));
}

// Inline into each native: the refusals are out of line.
template <typename T>
[[gnu::always_inline]] inline bool GetObjectParam(const GSStack& stack, uint32_t index, T*& out, bool nullAllowed) {
  out = nullptr;
  const GSValue ref = GSNativeArg(stack, index);
  if (ref == 0) {
    if (nullAllowed) return true;
    GSNativeRefuse("null object at parameter %d", index);
    return false;
  }
  out = GSNativeCast<T>(GSScriptInstance::FromRef(ref)->native);
  if (out != nullptr) return true;
  GSNativeRefuse("incorrect parameter type at parameter %d", index);
  return false;
}

}  // namespace GSRuntime
