#include "gsruntime/GSScriptInstance.h"

#include <cstddef>
#include <cstdlib>

#include "gsruntime/GSArray.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSInstanceMemory.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/TrackedObjectPool.h"

namespace GSRuntime {

static_assert(offsetof(GSEmbeddedInstance, slot0) == sizeof(GSScriptInstance),
              "an embedded instance's slot must follow its header");

namespace {
int64_t liveInstances = 0;
}  // namespace

int64_t GSScriptInstance::LiveCount() {
  return liveInstances;
}

GSScriptInstance* GSScriptInstance::Allocate(GSClass* cls, GSObjectReference* native,
                                             uint32_t slots) {
  const size_t bytes = sizeof(GSScriptInstance) + size_t{slots} * sizeof(GSValue);
  void* memory = cls != nullptr && cls->instanceMemory != nullptr
                     ? cls->instanceMemory->Allocate(native, bytes)
                     : std::calloc(1, bytes);
  if (memory == nullptr) return nullptr;
  GSScriptInstance* instance = static_cast<GSScriptInstance*>(memory);
  *instance = GSScriptInstance{nullptr, 1, slots, native, cls};
  ++liveInstances;
  return instance;
}

void GSScriptInstance::Deallocate(GSScriptInstance* instance) {
  if (instance == nullptr) return;
  --liveInstances;
  if (instance->cls != nullptr && instance->cls->instanceMemory != nullptr) {
    const size_t bytes = sizeof(GSScriptInstance) + size_t{instance->slotCount} * sizeof(GSValue);
    instance->cls->instanceMemory->Free(instance, bytes);
    return;
  }
  std::free(instance);
}

void GSEmbeddedInstance::Init(GSObjectReference* native, GSContext* context) {
  header = GSScriptInstance{nullptr, 1, 1, native, nullptr};
  slot0 = 0;
  ++liveInstances;
  if (context != nullptr) context->Pool().Take(&header);
}

void GSEmbeddedInstance::Finish() {
  TrackedObjectPool::GiveBack(&header);
  --liveInstances;
}

void GSScriptInstance::Pin() {
  count += 2;
}

void GSScriptInstance::Empty() {
  if (native != nullptr) {
    if (native->GetKind() == GSObjectReference::KindArray) {
      static_cast<GSArray*>(native)->Clear();
      return;
    }
    if (!native->IsObject()) return;
    if (native->GetKind() == GSObjectReference::KindGameObject) {
      ++count;
      // A game object's threads and handlers go now; the object itself
      // stays attached, so that the free pass deletes it.
      static_cast<GSObject*>(native)->DropScriptState();
    }
  }
  if (cls != nullptr) ReleaseFields(cls, this);
}

void GSScriptInstance::Free() {
  TrackedObjectPool::GiveBack(this);
  if (native != nullptr && !native->IsObject()) {
    delete native;  // strings and arrays carry this instance inside them
    return;
  }
  if (native != nullptr) {
    GSObject* object = static_cast<GSObject*>(native);
    ++count;
    object->Detach();
    delete object;
  }
  if (cls != nullptr) {
    Destroy(this);
    return;
  }
  Deallocate(this);
}

}  // namespace GSRuntime
