// ReferenceCountMP: the base of every shared soup object (chunks, raw data
// cores, loaded binary files), and MPRef<T>, the counted handle to one.
//
// Rule of this family: a new object starts with the count 1, owned by its
// creator. AddRef adds one; Release drops one and deletes the object through
// its virtual destructor when none is left. The count is atomic, so handles
// to one object may be copied and released on several threads; the objects
// themselves are not locked.
//
// MPRef<T> holds exactly one reference or nothing:
//   MPRef<T>::Adopt(p)  takes over the reference the caller holds on p
//                       (the usual way to wrap `new T(...)`);
//   MPRef<T>::Share(p)  adds a reference of its own;
//   copying adds a reference, assigning adds to the new object before it
//   drops the old one (so self-assignment is safe), moving passes the
//   reference on, Reset/destruction drop it, Detach hands it to the caller.
// A handle of a derived type converts to a handle of its base.
//
// Failure: none. Releasing more references than were taken is a caller bug.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "kiv/ReferenceCount.h"

class ReferenceCountMP {
 public:
  virtual ~ReferenceCountMP() = default;

  void AddRef() const { refs_.Increment(); }
  void Release() const {
    if (refs_.Decrement() == 0) delete this;
  }
  int32_t RefCount() const { return refs_.Get(); }

 protected:
  ReferenceCountMP() : refs_(1) {}
  // A copied object is a new object: it belongs to its creator alone.
  ReferenceCountMP(const ReferenceCountMP&) : refs_(1) {}
  ReferenceCountMP& operator=(const ReferenceCountMP&) { return *this; }

 private:
  mutable Kiv::ProtectedLong refs_;
};

template <class T>
class MPRef {
 public:
  MPRef() = default;
  MPRef(std::nullptr_t) {}  // NOLINT: an empty handle converts implicitly.
  MPRef(const MPRef& other) : p_(other.p_) { AddTo(p_); }
  MPRef(MPRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  MPRef(const MPRef<U>& other) : p_(other.get()) {  // NOLINT: derived to base.
    AddTo(p_);
  }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  MPRef(MPRef<U>&& other) noexcept : p_(other.Detach()) {}  // NOLINT
  ~MPRef() { Drop(p_); }

  // Takes over the caller's reference on `p` (null gives an empty handle).
  static MPRef Adopt(T* p) {
    MPRef r;
    r.p_ = p;
    return r;
  }
  // Adds a reference of its own on `p` (null gives an empty handle).
  static MPRef Share(T* p) {
    AddTo(p);
    return Adopt(p);
  }

  MPRef& operator=(const MPRef& other) {
    Assign(other.p_);
    return *this;
  }
  MPRef& operator=(MPRef&& other) noexcept {
    if (this == &other) return *this;
    T* old = std::exchange(p_, std::exchange(other.p_, nullptr));
    Drop(old);
    return *this;
  }

  // Adds a reference to `p` first, then drops the old object.
  void Assign(T* p) {
    AddTo(p);
    Drop(std::exchange(p_, p));
  }
  void Reset() { Drop(std::exchange(p_, nullptr)); }
  // Gives up the held reference to the caller; the handle becomes empty.
  T* Detach() { return std::exchange(p_, nullptr); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator==(const MPRef& other) const { return p_ == other.p_; }

 private:
  static void AddTo(T* p) {
    if (p != nullptr) p->AddRef();
  }
  static void Drop(T* p) {
    if (p != nullptr) p->Release();
  }

  T* p_ = nullptr;
};
