#include "gsruntime/GSArray.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "gsruntime/GSReference.h"
#include "gsruntime/GSThread.h"

namespace GSRuntime {

namespace {

bool Refused() {
  return GSRefuse(ER_ArrayOutOfBounds);
}

// New storage of `capacity` slots holding `count` slots of `from`, the rest
// zero, admitted by `charge` (which still holds the old storage); null
// when refused.
GSValue* CopyInto(const GSMeterCharge& charge, uint32_t capacity, const GSValue* from,
                  int64_t count) {
  if (!charge.Admits(uint64_t{capacity} * sizeof(GSValue))) {
    Refused();
    return nullptr;
  }
  GSValue* data = static_cast<GSValue*>(std::calloc(capacity, sizeof(GSValue)));
  if (data == nullptr) {
    Refused();
    return nullptr;
  }
  if (count > 0) std::memcpy(data, from, static_cast<size_t>(count) * sizeof(GSValue));
  GSChargeMovedBytes(uint64_t{capacity} * sizeof(GSValue));
  return data;
}

uint32_t GrownCapacity(uint32_t capacity, int64_t n) {
  int64_t grown = std::max<int64_t>({n, int64_t{capacity} * 2, 4});
  return static_cast<uint32_t>(std::min<int64_t>(grown, GSArray::kMaxElements));
}

}  // namespace

GSArray::GSArray(GSAllocationMeter& meter, bool elementIsReference)
    : GSObjectReference(KindArray), charge_(meter), elementIsReference_(elementIsReference) {
  Settle();
}

GSArray* GSArray::Create(GSContext* context, bool elementIsReference) {
  GSAllocationMeter& meter = GSAllocationMeter::Of(context);
  GSArray* array = meter.AdmitsAfterSweep(sizeof(GSArray)) ? new (std::nothrow)
                                                                 GSArray(meter, elementIsReference)
                                                           : nullptr;
  if (array == nullptr) {
    Refused();
    return nullptr;
  }
  array->instance_.Init(array, context);
  if (context != nullptr && array->instance_.header.poolSlot == nullptr) {
    // Untracked, it could outlive its context and the meter it holds bytes on.
    delete array;
    Refused();
    return nullptr;
  }
  return array;
}

void GSArray::Settle() {
  charge_.Set(sizeof(GSArray) + uint64_t{capacity_} * sizeof(GSValue));
}

GSArray::~GSArray() {
  Clear();
  instance_.Finish();
}

bool GSArray::Reserve(int64_t n) {
  if (n > kMaxElements) return Refused();
  if (n <= capacity_) return true;
  const uint32_t capacity = GrownCapacity(capacity_, n);
  GSValue* data = CopyInto(charge_, capacity, data_, size_);
  if (data == nullptr) return false;
  std::free(data_);
  data_ = data;
  capacity_ = capacity;
  Settle();
  return true;
}

void GSArray::Clear() {
  ReleaseRange(0, size_);
  std::free(data_);
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
  Settle();
}

bool GSArray::SetSize(int64_t n) {
  if (n < 1) {
    Clear();
    return true;
  }
  if (n <= size_) return true;
  if (!Reserve(n)) return false;
  std::fill(data_ + size_, data_ + n, GSValue{0});
  GSChargeMovedBytes(uint64_t(n - size_) * sizeof(GSValue));
  size_ = static_cast<int32_t>(n);
  return true;
}

bool GSArray::AssignRange(GSArray& target, const GSArray& source, int32_t start, int32_t end) {
  if (start < 0) start = 0;
  if (end < 0 || end > source.size_) end = source.size_;
  if (end < start || target.elementIsReference_ != source.elementIsReference_) return false;
  const int32_t n = end - start;
  const uint32_t capacity = n > 0 ? GrownCapacity(0, n) : 0;
  GSValue* data = n > 0 ? CopyInto(target.charge_, capacity, source.data_ + start, n) : nullptr;
  if (n > 0 && data == nullptr) return false;
  if (target.elementIsReference_)
    for (int32_t i = 0; i < n; ++i) GSObjectReference::AddRef(data[i]);
  target.Clear();
  target.data_ = data;
  target.size_ = n;
  target.capacity_ = capacity;
  target.Settle();
  return true;
}

bool GSArray::Splice(GSArray& target, int32_t start, int32_t end, const GSArray* source) {
  if (start < 0) start = 0;
  if (end < 0) end = target.size_;
  if (end < start) return false;
  if (source != nullptr && source->elementIsReference_ != target.elementIsReference_) return false;
  const int64_t head = std::min(start, target.size_);
  const int64_t gap = start > target.size_ ? int64_t{start} - target.size_ : 0;
  const int64_t inserted = source != nullptr ? source->size_ : 0;
  const int64_t tailFrom = std::min(end, target.size_);
  const int64_t tail = target.size_ - tailFrom;
  const int64_t total = head + gap + inserted + tail;
  if (total > kMaxElements) return Refused();
  const uint32_t capacity = total > 0 ? GrownCapacity(0, total) : 0;
  GSValue* data = total > 0 ? CopyInto(target.charge_, capacity, target.data_, head) : nullptr;
  if (total > 0 && data == nullptr) return false;
  if (inserted > 0)
    std::memcpy(data + head + gap, source->data_, static_cast<size_t>(inserted) * sizeof(GSValue));
  if (tail > 0)
    std::memcpy(data + head + gap + inserted, target.data_ + tailFrom,
                static_cast<size_t>(tail) * sizeof(GSValue));
  if (target.elementIsReference_) {
    for (int64_t i = 0; i < inserted; ++i) GSObjectReference::AddRef(data[head + gap + i]);
    for (int64_t i = head; i < tailFrom; ++i) GSObjectReference::Release(target.data_[i]);
  }
  std::free(target.data_);
  target.data_ = data;
  target.size_ = static_cast<int32_t>(total);
  target.capacity_ = capacity;
  target.Settle();
  return true;
}

void GSArray::AddRefRange(int32_t first, int32_t count) {
  if (!elementIsReference_ || first < 0 || first >= size_) return;
  const int32_t last =
      static_cast<int32_t>(std::min<int64_t>(int64_t{first} + std::max(count, 0), size_));
  for (int32_t i = first; i < last; ++i) GSObjectReference::AddRef(data_[i]);
}

void GSArray::ReleaseRange(int32_t first, int32_t count) {
  if (!elementIsReference_ || first < 0 || first >= size_) return;
  const int32_t last =
      static_cast<int32_t>(std::min<int64_t>(int64_t{first} + std::max(count, 0), size_));
  for (int32_t i = first; i < last; ++i) {
    const GSValue element = data_[i];
    data_[i] = 0;
    GSObjectReference::Release(element);
  }
}

bool GSArray::SetElement(GSArray& array, int32_t index, GSValue ref, bool addRef,
                         const GSClass* cls) {
  if (ref != 0 && cls != nullptr) {
    const GSValue view = GSScriptInstance::GetClassData(GSScriptInstance::FromRef(ref), cls);
    if (!addRef) GSObjectReference::AddRef(view);
    if (!addRef) GSObjectReference::Release(ref);
    ref = view;
  }
  if (!array.elementIsReference_ || index < 0 ||
      (index >= array.size_ && !array.SetSize(int64_t{index} + 1))) {
    if (!addRef) GSObjectReference::Release(ref);
    return false;
  }
  GSStoreReference(&array.instance_.header, array.data_ + index, ref, addRef);
  return true;
}

}  // namespace GSRuntime
