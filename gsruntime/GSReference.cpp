#include "gsruntime/GSReference.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "gsruntime/GSContext.h"
#include "gsruntime/GSObjectReference.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/TrackedObjectPool.h"

namespace GSRuntime {

namespace {

// The instances whose count reached 0 while another instance was being
// destroyed, in the order they were released: a stack that starts in place
// (most destructions release a few objects) and moves to the heap when it
// outgrows that.
class ReleasedInstances {
 public:
  ReleasedInstances() = default;
  ~ReleasedInstances() {
    if (items_ != local_) std::free(items_);
  }
  ReleasedInstances(const ReleasedInstances&) = delete;
  ReleasedInstances& operator=(const ReleasedInstances&) = delete;

  size_t Size() const { return size_; }
  // False when the stack cannot grow (nothing is added).
  bool Push(GSScriptInstance* instance) {
    if (size_ == capacity_ && !Grow()) return false;
    items_[size_++] = instance;
    return true;
  }
  GSScriptInstance* Pop() { return size_ == 0 ? nullptr : items_[--size_]; }
  // The instances from `mark` on in the opposite order, so that the first
  // of them is popped first.
  void ReverseFrom(size_t mark) { std::reverse(items_ + mark, items_ + size_); }

 private:
  static constexpr size_t kLocal = 32;

  bool Grow() {
    const size_t capacity = capacity_ * 2;
    auto* items =
        static_cast<GSScriptInstance**>(std::malloc(capacity * sizeof(GSScriptInstance*)));
    if (items == nullptr) return false;
    std::copy(items_, items_ + size_, items);
    if (items_ != local_) std::free(items_);
    items_ = items;
    capacity_ = capacity;
    return true;
  }

  GSScriptInstance* local_[kLocal];
  GSScriptInstance** items_ = local_;
  size_t size_ = 0;
  size_t capacity_ = kLocal;
};

// The stack of the outermost destruction running on this thread; null when
// none runs.
thread_local ReleasedInstances* tReleased = nullptr;

// Destroys an instance whose count is 0 and that was not deferred: its
// native object (whose destructor detaches and frees the instance) or the
// pure instance itself.
void DestroyReleased(GSScriptInstance* instance) {
  if (GSObjectReference* native = instance->native) {
    delete native;
    return;
  }
  if (instance->cls != nullptr) GSScriptInstance::Destroy(instance);
}

// Destroys `first` and, one at a time, every instance that its destruction
// brings to 0, depth first: the instances one destruction released are
// taken in the order it released them, each with everything it releases in
// turn before the next.
void DestroyAll(GSScriptInstance* first) {
  ReleasedInstances released;
  tReleased = &released;
  for (GSScriptInstance* next = first; next != nullptr; next = released.Pop()) {
    const size_t mark = released.Size();
    DestroyReleased(next);
    released.ReverseFrom(mark);
  }
  tReleased = nullptr;
}

}  // namespace

void GSObjectReference::AddRef(GSValue ref) {
  if (ref != 0) ++GSScriptInstance::FromRef(ref)->count;
}

void GSObjectReference::Release(GSValue ref) {
  if (ref == 0) return;
  GSScriptInstance* instance = GSScriptInstance::FromRef(ref);
  if (--instance->count != 0) return;
  GSObjectReference* native = instance->native;
  if (native != nullptr) {
    if (native->DeferRelease()) return;
    if (native->GetKind() == KindString) {
      delete native;  // holds no references: nothing to defer
      return;
    }
  } else if (instance->cls == nullptr) {
    return;
  }
  if (tReleased == nullptr) {
    DestroyAll(instance);
    return;
  }
  if (!tReleased->Push(instance)) DestroyReleased(instance);  // out of memory: at once
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
