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

template <typename T>
GSValue Word(T* pointer) {
  return reinterpret_cast<uintptr_t>(pointer);
}

template <typename T>
T* Pointer(GSValue word) {
  return reinterpret_cast<T*>(static_cast<uintptr_t>(word));
}

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

bool GSStack::PushFrame(const GSFunction& fn, uint32_t returnOffset) {
  const uint32_t used = Used();
  if (fn.slotsNeeded > kCapacity - used) {
    GSPrint("GSStack overflow...");
    if (GSPrintHook != nullptr)
      for (const GSValue* record = currentFrame_; record != nullptr; record = FramePrevious(record))
        GSPrint("function %s", FrameFunction(record)->name);
    return false;
  }
  if (fn.params == 0 || used < fn.params) return false;
  GSValue* top = top_;
  // The locals and temporaries start as 0; the operand stack above the
  // record is always written before it is read.
  for (uint32_t i = 1; i < fn.recordOffset; ++i) top[i] = 0;
  GSValue* record = top + fn.recordOffset;
  record[0] = Word(&fn);
  record[1] = returnOffset;
  record[2] = Word(currentFrame_);
  record[3] = Word(top + static_cast<int32_t>(fn.slot0Offset));
  currentFrame_ = record;
  top_ = top + fn.advance;
  return true;
}

void GSStack::ReleaseFrame(const GSValue* record) {
  const GSFunction* fn = FrameFunction(record);
  GSValue* slot0 = FrameSlot0(record);
  for (uint32_t i = fn->referenceSlots.count; i-- > 0;) {
    GSValue& slot = slot0[fn->referenceSlots.At(i)];
    const GSValue ref = slot;
    slot = 0;
    GSObjectReference::Release(ref);
  }
  const GSValue me = slot0[0];
  slot0[0] = 0;
  GSObjectReference::Release(me);
}

GSValue GSStack::TakeFrame(const GSValue* record) {
  GSValue* slot0 = FrameSlot0(record);
  lastReturnOffset_ = FrameReturnOffset(record);
  currentFrame_ = FramePrevious(record);
  ReleaseFrame(record);
  return Word(slot0);
}

bool GSStack::PopFrame() {
  const GSValue* record = currentFrame_;
  if (record == nullptr || top_ != record + kRecordSlots - 1) return false;
  top_ = Pointer<GSValue>(TakeFrame(record)) - 1;
  return true;
}

bool GSStack::ReturnValue(bool allowEmpty) {
  const GSValue* record = currentFrame_;
  if (record == nullptr) return false;
  const int64_t diff = top_ - record;
  GSValue value = 0;
  if (diff == kRecordSlots) {
    value = *top_;
  } else if (!(allowEmpty && diff == kRecordSlots - 1)) {
    GSPrint("GSStack::ReturnValue> diff=%d", static_cast<int>(diff));
    return false;
  }
  GSValue* slot0 = Pointer<GSValue>(TakeFrame(record));
  *slot0 = value;
  top_ = slot0;
  return true;
}

void GSStack::Clear() {
  while (currentFrame_ != nullptr) TakeFrame(currentFrame_);
  top_ = base_ - 1;
  lastReturnOffset_ = 0;
}

bool GSStack::Push(GSValue value) {
  if (Used() >= kCapacity) return false;
  *++top_ = value;
  return true;
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
