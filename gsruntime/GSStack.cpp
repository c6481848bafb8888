#include "gsruntime/GSStack.h"

#include "gsruntime/GSClass.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSString.h"

namespace GSRuntime {

namespace {

// The view of `ref` through `cls` (null when it is not of that class); the
// reference itself without a class.
GSValue ViewOf(GSValue ref, const GSClass* cls) {
  if (ref == 0 || cls == nullptr) return ref;
  return GSScriptInstance::GetClassData(GSScriptInstance::FromRef(ref), cls);
}

}  // namespace

GSStack::GSStack()
    : slots_(new GSValue[kCapacity + 1]()), base_(slots_.get() + 1), top_(slots_.get()) {}

GSStack::~GSStack() {
  Clear();
}

bool GSStack::ReportOverflow() const {
  GSPrint("GSStack overflow...");
  if (GSPrintHook != nullptr)
    for (const GSValue* record = currentFrame_; record != nullptr; record = FramePrevious(record))
      GSPrint("function %s", FrameFunction(record)->name);
  return false;
}

bool GSStack::ReportReturnDiff(int64_t diff) {
  GSPrint("GSStack::ReturnValue> diff=%d", static_cast<int>(diff));
  return false;
}

void GSStack::ReleaseSlot(GSValue ref) {
  GSObjectReference::Release(ref);
}

void GSStack::Clear() {
  while (currentFrame_ != nullptr) TakeFrame(currentFrame_);
  top_ = base_ - 1;
  lastReturnOffset_ = 0;
}

GSValue GSStack::PushString(const char* text) {
  if (Used() >= kCapacity) return 0;
  GSString* string = GSString::Create(text != nullptr ? text : "", CurrentContext());
  const GSValue ref = string != nullptr ? string->GetScriptInstance() : 0;
  Push(ref);
  return ref;
}

GSValue GSStack::PushObject(const GSClass* cls, GSObjectReference* object) {
  const GSValue ref = object != nullptr ? object->GetScriptInstance() : 0;
  const GSValue view = ViewOf(ref, cls);
  if (view == 0 || !Push(view)) {
    GSObjectReference::Release(ref);  // nothing takes the count the caller handed over
    return 0;
  }
  return view;
}

GSValue GSStack::PushObjectAs(const GSClass* cls, GSObjectReference* object) {
  if (Used() >= kCapacity) return 0;
  const GSValue view = ViewOf(object != nullptr ? object->GetScriptInstance() : 0, cls);
  GSObjectReference::AddRef(view);
  Push(view);
  return view;
}

bool GSStack::PushObjectView(GSValue value, const GSClass* cls) {
  return Push(ViewOf(value, cls));
}

GSContext* GSStack::GetContext() const {
  for (const GSValue* record = currentFrame_; record != nullptr; record = FramePrevious(record)) {
    const GSValue me = *FrameSlot0(record);
    if (me == 0) continue;
    GSObjectReference* native = GSScriptInstance::FromRef(me)->native;
    if (native == nullptr || !native->IsObject()) continue;
    if (GSContext* context = static_cast<GSObject*>(native)->Context()) return context;
  }
  return nullptr;
}

void GSStack::TraceFrames() const {
  const GSValue* inner = nullptr;
  for (const GSValue* record = currentFrame_; record != nullptr; record = FramePrevious(record)) {
    const GSFunction* fn = FrameFunction(record);
    const int32_t line = inner == nullptr ? -1 : fn->LineForOffset(FrameReturnOffset(inner));
    GSPrint("function %s, line %d", fn->name, static_cast<int>(line));
    inner = record;
  }
}

}  // namespace GSRuntime
