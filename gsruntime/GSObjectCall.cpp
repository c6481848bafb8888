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

bool GSObject::CallFunction(GSContext* context, GSClass* cls, GSValue instance,
                            const char* signature, std::span<const GSValue> args, GSValue* result) {
  if (context == nullptr || context->Router() == nullptr) return false;
  return InvokeFunction(cls, instance, signature, args, result);
}

bool GSObject::InvokeFunction(GSClass* cls, GSValue instance, const char* signature,
                              std::span<const GSValue> args, GSValue* result) {
  if (cls == nullptr || instance == 0 || signature == nullptr) return false;
  if (GSScriptInstance::GetClassData(GSScriptInstance::FromRef(instance), cls) != instance)
    return false;
  uint32_t offset = 0, methodIndex = 0;
  if (cls->FindFunction(signature, &offset, &methodIndex, nullptr) == nullptr) return false;
  const GSMethodEntry* entry = GSMethodOf(GSFromBlock(GSBlockOf(instance) + offset), methodIndex);
  const GSFunction* fn = entry != nullptr && entry->ref != nullptr ? entry->ref->function : nullptr;
  if (fn == nullptr || fn->IsThread() || fn->cls->machine == nullptr ||
      fn->cls->machine->Thread() == nullptr)
    return false;
  const GSValue me = GSFromBlock(GSScriptInstance::FromRef(instance)->Slots() + entry->offset);
  return GSRunFunction(*fn->cls->machine->Thread(), *fn, me, args, result) == ER_Done;
}

}  // namespace GSRuntime
