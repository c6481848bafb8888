// GSScriptInstance: making, constructing and destroying the instance of a
// script class.
#include <cstdint>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSThread.h"

namespace GSRuntime {

namespace {

// Runs the initialiser of `cls` (its last function record) on the machine's
// own thread with `block` as the object; a class whose initialiser has no
// code needs no run.
bool RunInitialiser(const GSClass& cls, GSMachine* machine, GSValue* block) {
  const GSFunction& init = cls.Initialiser();
  if (init.codeSize == 0) return true;
  GSThread* thread = machine != nullptr ? machine->Thread() : nullptr;
  return thread != nullptr &&
         GSRunFunction(*thread, init, GSFromBlock(block), {}, nullptr) == ER_Done;
}

}  // namespace

bool GSScriptInstance::Create(GSClass* cls, GSObject* object, GSContext* context) {
  if (cls == nullptr || object == nullptr || object->instance_ != 0) return false;
  GSScriptInstance* instance = Allocate(cls, object, cls->instanceSlots);
  if (instance == nullptr) return false;
  if (context != nullptr && !context->Pool().Take(instance)) {
    Deallocate(instance);
    return false;
  }
  object->instance_ = instance->Block0();
  object->context_ = context;
  GSValue* slots = instance->Slots();
  for (uint32_t i = 0; i < cls->initialisers.count; ++i) {
    const uint32_t value = cls->initialisers.At(i, 2);
    slots[cls->initialisers.At(i, 1)] =
        cls->initialisers.At(i, 0) == 0 ? GSFromInt(static_cast<int32_t>(value))
                                        : reinterpret_cast<uintptr_t>(cls->methods.data() + value);
  }
  bool built = true;
  for (uint32_t i = cls->AncestorCount(); built && i-- > 0;) {
    const GSClass* ancestor = cls->Ancestor(i);
    built = ancestor != nullptr &&
            RunInitialiser(*ancestor, cls->machine, slots + cls->AncestorOffset(i));
  }
  if (built && RunInitialiser(*cls, cls->machine, slots)) return true;
  object->instance_ = 0;
  object->context_ = nullptr;
  instance->native = nullptr;
  GSObjectReference::Release(instance->Block0());
  return false;
}

void GSScriptInstance::Destroy(GSScriptInstance* instance) {
  if (instance == nullptr || !ReleaseFields(instance->cls, instance)) return;
  TrackedObjectPool::GiveBack(instance);
  Deallocate(instance);
}

bool GSScriptInstance::ReleaseFields(GSClass* cls, GSScriptInstance* instance) {
  if (instance == nullptr || cls == nullptr || instance->cls != cls) return false;
  GSValue* slots = instance->Slots();
  auto releaseBlock = [](const GSClass& owner, GSValue* block) {
    for (uint32_t i = 0; i < owner.referenceSlots.count; ++i) {
      GSValue& slot = block[owner.referenceSlots.At(i)];
      const GSValue ref = slot;
      slot = 0;
      GSObjectReference::Release(ref);
    }
  };
  for (uint32_t i = cls->AncestorCount(); i-- > 0;)
    if (const GSClass* ancestor = cls->Ancestor(i))
      releaseBlock(*ancestor, slots + cls->AncestorOffset(i));
  releaseBlock(*cls, slots);
  return true;
}

GSValue GSScriptInstance::GetClassData(GSScriptInstance* instance, const GSClass* cls) {
  if (instance == nullptr || cls == nullptr || instance->cls == nullptr) return 0;
  if (instance->native == nullptr && instance->cls->InheritsFrom("GameObject")) return 0;
  if (instance->cls == cls) return instance->Block0();
  for (uint32_t i = instance->cls->AncestorCount(); i-- > 0;)
    if (instance->cls->Ancestor(i) == cls)
      return GSFromBlock(instance->Slots() + instance->cls->AncestorOffset(i));
  return 0;
}

}  // namespace GSRuntime
