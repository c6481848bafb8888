// GSObject::CallFunction and InvokeFunction: host calls into script code.
#include <cstdint>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSThread.h"

namespace GSRuntime {

namespace {

// Entry `index` of the method table that the block's second slot points
// into; null when it lies outside the instance's class's table.
const GSMethodEntry* MethodOf(GSValue view, uint32_t index) {
  const GSScriptInstance* instance = GSScriptInstance::FromRef(view);
  if (instance->cls == nullptr) return nullptr;
  const std::vector<GSMethodEntry>& methods = instance->cls->methods;
  const uintptr_t start = reinterpret_cast<uintptr_t>(methods.data());
  const uintptr_t at = static_cast<uintptr_t>(GSBlockOf(view)[1]);
  if (at < start || (at - start) % sizeof(GSMethodEntry) != 0) return nullptr;
  const uint64_t entry = (at - start) / sizeof(GSMethodEntry) + index;
  return entry < methods.size() ? &methods[entry] : nullptr;
}

}  // namespace

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
  const GSMethodEntry* entry = MethodOf(GSFromBlock(GSBlockOf(instance) + offset), methodIndex);
  const GSFunction* fn = entry != nullptr && entry->ref != nullptr ? entry->ref->function : nullptr;
  if (fn == nullptr || fn->IsThread() || fn->cls->machine == nullptr ||
      fn->cls->machine->Thread() == nullptr)
    return false;
  const GSValue me = GSFromBlock(GSScriptInstance::FromRef(instance)->Slots() + entry->offset);
  return GSRunFunction(*fn->cls->machine->Thread(), *fn, me, args, result) == ER_Done;
}

}  // namespace GSRuntime
