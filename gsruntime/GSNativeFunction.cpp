#include "gsruntime/GSNativeFunction.h"

#include "gsruntime/GSObject.h"
#include "gsruntime/GSReference.h"

namespace GSRuntime {

GSContext* GSCNativeFunction::ContextOf(GSObjectReference* object) {
  if (object == nullptr) return nullptr;
  if (object->IsObject()) return static_cast<GSObject*>(object)->Context();
  return GSContextOfRef(object->GetScriptInstance());
}

bool GSCNativeFunction::Call(GSObjectReference* object, GSStack& stack) {
  if (object == nullptr || function_ == nullptr) return false;
  function_(ContextOf(object), stack);
  return true;
}

}  // namespace GSRuntime
