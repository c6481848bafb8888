#include "gsruntime/GSObject.h"

#include "gsruntime/GSReference.h"
#include "gsruntime/GSScriptInstance.h"

namespace GSRuntime {

GSObject::~GSObject() {
  if (instance_ == 0) return;
  GSScriptInstance* instance = GSScriptInstance::FromRef(instance_);
  const GSValue ref = instance_;
  instance_ = 0;
  context_ = nullptr;
  if (instance->count <= 1 && instance->cls != nullptr) {
    if (instance->count > 0) --instance->count;
    GSScriptInstance::Destroy(instance);
    return;
  }
  instance->native = nullptr;
  GSObjectReference::Release(ref);
}

bool GSObject::AttachScriptInstance(GSClass* cls, GSContext* context) {
  if (cls == nullptr) {
    Detach();
    return false;
  }
  if (instance_ != 0) return false;
  context_ = context;
  return GSScriptInstance::Create(cls, this, context);
}

void GSObject::Detach() {
  if (instance_ == 0) return;
  const GSValue ref = instance_;
  GSScriptInstance::FromRef(ref)->native = nullptr;
  instance_ = 0;
  context_ = nullptr;
  GSObjectReference::Release(ref);
}

GSClass* GSObject::GetScriptClass() const {
  return instance_ == 0 ? nullptr : GSScriptInstance::FromRef(instance_)->cls;
}

}  // namespace GSRuntime
