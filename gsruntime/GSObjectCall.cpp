// GSObject::CallFunction and InvokeFunction: host calls into script code.
#include <cstdint>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSThread.h"

namespace GSRuntime {

namespace {

// The function a signature names on `instance` (seen through `cls`), found
// through the class and dispatched through the instance's method table,
// with the view it runs on; null when there is none.
const GSFunction* Dispatch(GSClass* cls, GSValue instance, const char* signature, GSValue* view) {
  if (cls == nullptr || instance == 0 || signature == nullptr) return nullptr;
  if (GSScriptInstance::GetClassData(GSScriptInstance::FromRef(instance), cls) != instance)
    return nullptr;
  uint32_t offset = 0, methodIndex = 0;
  if (cls->FindFunction(signature, &offset, &methodIndex, nullptr) == nullptr) return nullptr;
  const GSMethodEntry* entry = GSMethodOf(GSFromBlock(GSBlockOf(instance) + offset), methodIndex);
  const GSFunction* fn = entry != nullptr && entry->ref != nullptr ? entry->ref->function : nullptr;
  if (fn == nullptr) return nullptr;
  *view = GSFromBlock(GSScriptInstance::FromRef(instance)->Slots() + entry->offset);
  return fn;
}

}  // namespace

bool GSObject::CallFunction(GSContext* context, GSClass* cls, GSValue instance,
                            const char* signature, std::span<const GSValue> args, GSValue* result) {
  if (context == nullptr || context->Router() == nullptr) return false;
  GSValue view = 0;
  const GSFunction* fn = Dispatch(cls, instance, signature, &view);
  if (fn == nullptr || !fn->IsThread())
    return InvokeFunction(cls, instance, signature, args, result);
  if (args.size() + 1 != fn->params) return false;
  // A thread function starts a thread of the game object; it runs when the
  // router next updates the object.
  if (GSStartThread(*fn, view, args.data(), static_cast<uint32_t>(args.size())) != ER_Done)
    return false;
  GSObjectReference::AddRef(view);
  for (uint32_t i = 0; i < fn->referenceSlots.count; ++i) {
    const uint32_t slot = fn->referenceSlots.At(i);
    if (slot >= 1 && slot < fn->params) GSObjectReference::AddRef(args[slot - 1]);
  }
  return true;
}

bool GSObject::InvokeFunction(GSClass* cls, GSValue instance, const char* signature,
                              std::span<const GSValue> args, GSValue* result) {
  GSValue me = 0;
  const GSFunction* fn = Dispatch(cls, instance, signature, &me);
  if (fn == nullptr || fn->IsThread() || fn->cls->machine == nullptr ||
      fn->cls->machine->Thread() == nullptr)
    return false;
  return GSRunFunction(*fn->cls->machine->Thread(), *fn, me, args, result) == ER_Done;
}

}  // namespace GSRuntime
