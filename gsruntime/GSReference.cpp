#include "gsruntime/GSReference.h"

#include "gsruntime/GSContext.h"
#include "gsruntime/GSObjectReference.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/TrackedObjectPool.h"

namespace GSRuntime {

void GSObjectReference::AddRef(GSValue ref) {
  if (ref != 0) ++GSScriptInstance::FromRef(ref)->count;
}

void GSObjectReference::Release(GSValue ref) {
  if (ref == 0) return;
  GSScriptInstance* instance = GSScriptInstance::FromRef(ref);
  if (--instance->count != 0) return;
  if (GSObjectReference* native = instance->native) {
    if (native->DeferRelease()) return;
    delete native;
    return;
  }
  if (instance->cls != nullptr) GSScriptInstance::Destroy(instance);
}

GSContext* GSContextOfRef(GSValue ref) {
  return ref == 0 ? nullptr : TrackedObjectPool::ContextOf(GSScriptInstance::FromRef(ref));
}

bool GSStoreReference(const GSScriptInstance* holder, GSValue* slot, GSValue value, bool addRef) {
  if (value != 0) {
    GSContext* valueContext = GSContextOfRef(value);
    GSContext* holderContext = TrackedObjectPool::ContextOf(holder);
    if (valueContext != nullptr && valueContext != holderContext && !valueContext->Shares()) {
      if (!addRef) GSObjectReference::Release(value);
      GSObjectReference::Release(*slot);
      *slot = 0;
      return false;
    }
  }
  if (addRef) GSObjectReference::AddRef(value);
  const GSValue old = *slot;
  *slot = value;
  GSObjectReference::Release(old);
  return true;
}

}  // namespace GSRuntime
