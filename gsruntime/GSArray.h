// GSRuntime::GSArray: a script array, with its embedded script instance
// (kind 1). Its elements are either all plain values or all references
// that the array counts (`elementIsReference`).
//
// Create makes an empty array with count 1, registered in `context`'s pool
// when a context is given; null when refused. `size` is the number
// of elements; the storage's capacity grows geometrically, so appending
// one element at a time costs amortised constant time. No array grows
// beyond kMaxElements elements, and the bytes of an array (the object and
// its storage's capacity) are held on the meter of its context
// (GSAllocationMeter.h); an operation that would pass either bound, or that
// cannot get the memory, is refused (noted with ER_ArrayOutOfBounds),
// answers false and changes nothing. Storage that is allocated, copied or
// filled is charged to the running budget.
//
// - SetSize(n): n below 1 releases every element and frees the storage;
//   n above the size appends zero (null) elements (false past
//   kMaxElements); otherwise nothing. n is 64-bit so that callers can pass
//   an index + 1 computed without overflow.
// - AssignRange(target, source, start, end): target becomes a copy of
//   source's elements [start, end) (a start below 0 counts as 0, an end
//   below 0 or past source's size as the size); false when end < start or
//   the element kinds differ.
// - Splice(target, start, end, source): target's elements [start, end) are
//   replaced by source's elements (none for null); a start past the end
//   appends start - size zero elements first. Bounds clamp as above but
//   against target; false when end < start or the element kinds differ.
// - AddRefRange / ReleaseRange(first, count): one count more or less on
//   each non-null element of [first, first + count) cut to the size;
//   ReleaseRange also clears the slots. Nothing for a plain array or a
//   first at or past the size.
// - Clear(): releases every element and frees the storage (size 0).
// - SetElement(array, index, ref, addRef, cls): the store with which
//   natives fill reference arrays. A plain array, a negative index or
//   growth that fails stores nothing and answers false. Otherwise an index at or past the
//   size grows the array to index + 1 and the reference is stored under
//   the context rule of GSStoreReference (a refused one is stored as null),
//   seen through `cls` when a class is given; the old element is released.
//   With addRef the stored reference gains a count (the caller keeps its
//   own); without, the caller's count moves into the array, and a
//   reference that is not stored is released.
// Every element copied into an array gains a count and every element
// removed from one loses one. The caller holds a reference to every array
// it passes while the operation runs. Destroying the array releases its
// elements, frees the storage and leaves the pool.
//
// Not thread-safe.
#pragma once

#include <cstdint>

#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSObjectReference.h"
#include "gsruntime/GSScriptInstance.h"

namespace GSRuntime {

class GSClass;
class GSContext;

class GSArray : public GSObjectReference {
 public:
  static constexpr int32_t kMaxElements = 1 << 24;

  static GSArray* Create(GSContext* context, bool elementIsReference);
  ~GSArray() override;

  GSValue GetScriptInstance() const override { return GSFromBlock(&instance_.slot0); }
  static GSArray* FromRef(GSValue ref);

  int32_t Size() const { return size_; }
  bool ElementIsReference() const { return elementIsReference_; }
  GSValue* Data() { return data_; }
  const GSValue* Data() const { return data_; }
  uint32_t Capacity() const { return capacity_; }

  bool SetSize(int64_t n);
  static bool AssignRange(GSArray& target, const GSArray& source, int32_t start, int32_t end);
  static bool Splice(GSArray& target, int32_t start, int32_t end, const GSArray* source);
  void AddRefRange(int32_t first, int32_t count);
  void ReleaseRange(int32_t first, int32_t count);
  void Clear();
  static bool SetElement(GSArray& array, int32_t index, GSValue ref, bool addRef,
                         const GSClass* cls);

 private:
  GSArray(GSAllocationMeter& meter, bool elementIsReference);
  bool Reserve(int64_t n);
  void Settle();

  GSMeterCharge charge_;
  GSValue* data_ = nullptr;
  int32_t size_ = 0;
  uint32_t capacity_ = 0;
  bool elementIsReference_;
  GSEmbeddedInstance instance_;
};

// Inline: every array instruction of the interpreter starts with it.
inline GSArray* GSArray::FromRef(GSValue ref) {
  if (ref == 0) return nullptr;
  GSObjectReference* native = GSScriptInstance::FromRef(ref)->native;
  if (native == nullptr || native->GetKind() != KindArray) return nullptr;
  return static_cast<GSArray*>(native);
}

}  // namespace GSRuntime
