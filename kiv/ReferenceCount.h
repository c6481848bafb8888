// Reference-counted objects and counted handles.
//
// Kiv::ProtectedLong is an atomic 32-bit counter whose Increment and
// Decrement answer the new value.
//
// Kiv::ReferenceCount is a base class for objects that live on the heap and
// are shared by counting. The use count starts at 0 (a new object belongs to
// nobody); AddReference adds one, ReleaseReference drops one and deletes the
// object (through its virtual destructor) when none is left. Releasing an
// object that holds no reference deletes it too. Copying an object gives a
// new object with no references; assigning one leaves the count alone.
//
// Kiv::Ref<T> is a handle that holds one reference: taken when it is made
// from a pointer or copied, dropped when it is reset, assigned or destroyed.
// Assignment takes the new reference before it drops the old one, so
// assigning a handle to itself (or to another handle of the same object)
// keeps the object alive. Moving passes the reference on without counting.
//
// ReleaseRef(obj) drops one reference of `obj` (null is allowed);
// SafeDelete(p) deletes `p` when it is not null and clears it.
// Counting is thread-safe; a single Ref is not (as for any value).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace Kiv {

class ProtectedLong {
 public:
  explicit ProtectedLong(int32_t value = 0) : value_(value) {}
  ProtectedLong(const ProtectedLong&) = delete;
  ProtectedLong& operator=(const ProtectedLong&) = delete;

  int32_t Increment() { return value_.fetch_add(1, std::memory_order_relaxed) + 1; }
  int32_t Decrement() { return value_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  int32_t Get() const { return value_.load(std::memory_order_acquire); }

 private:
  std::atomic<int32_t> value_;
};

class ReferenceCount {
 public:
  virtual ~ReferenceCount() = default;

  // Answers the new use count.
  int32_t AddReference() { return uses_.Increment(); }
  void ReleaseReference() {
    if (uses_.Decrement() <= 0) delete this;
  }
  int32_t UseCount() const { return uses_.Get(); }

 protected:
  ReferenceCount() = default;
  ReferenceCount(const ReferenceCount&) : uses_(0) {}
  ReferenceCount& operator=(const ReferenceCount&) { return *this; }

 private:
  ProtectedLong uses_;
};

template <class T>
void ReleaseRef(T* obj) {
  if (obj != nullptr) obj->ReleaseReference();
}

template <class T>
void SafeDelete(T*& p) {
  if (p == nullptr) return;
  delete p;
  p = nullptr;
}

template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(std::nullptr_t) {}  // A null handle converts implicitly.
  explicit Ref(T* p) : p_(p) { AddTo(p_); }
  Ref(const Ref& other) : p_(other.p_) { AddTo(p_); }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(const Ref<U>& other) : p_(other.get()) {  // Derived to base.
    AddTo(p_);
  }
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~Ref() { ReleaseRef(p_); }

  Ref& operator=(const Ref& other) {
    reset(other.p_);
    return *this;
  }
  Ref& operator=(Ref&& other) noexcept {
    if (this == &other) return *this;
    T* old = std::exchange(p_, std::exchange(other.p_, nullptr));
    ReleaseRef(old);
    return *this;
  }

  // Holds `p` (taking its reference first) and drops the old object.
  void reset(T* p = nullptr) {
    AddTo(p);
    T* old = std::exchange(p_, p);
    ReleaseRef(old);
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator==(const Ref& other) const { return p_ == other.p_; }

 private:
  static void AddTo(T* p) {
    if (p != nullptr) p->AddReference();
  }

  T* p_ = nullptr;
};

}  // namespace Kiv
