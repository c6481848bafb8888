// SafePointer<T> and SafePointerTarget<T>: pointers that are cleared when
// the object they point at goes away.
//
// An object that may be pointed at derives from SafePointerTarget<T>. It
// keeps an intrusive list of the SafePointer<T> objects that refer to it;
// ClearSafePointers sets each of them to null and unlinks it, and the
// target's destructor does the same, so a safe pointer never dangles.
// Copying a target gives an object that nobody points at yet.
//
// A SafePointer does not own its target and adds no use to it: it only tells
// whether the target is still there. Copying one makes a second pointer to
// the same target; destroying one unlinks it.
//
// Not thread-safe: a target and the safe pointers to it are used under one
// lock of the caller's (for asset specs, the spec registry's lock).
#pragma once

#include <cstdint>

#include "foundation/containers/IntrusiveList.h"

template <typename T>
class SafePointer;

template <typename T>
class SafePointerTarget {
 public:
  SafePointerTarget() = default;
  SafePointerTarget(const SafePointerTarget&) {}
  SafePointerTarget& operator=(const SafePointerTarget&) { return *this; }

  // Clears every safe pointer to this object and detaches it.
  void ClearSafePointers() {
    for (Utils::IDoubleLinkListNode* n = safePointers_.head; n; n = n->next) {
      static_cast<SafePointer<T>*>(n)->target_ = nullptr;
    }
    UnlinkAllNodes(safePointers_);
  }

  // Safe pointers that refer to this object.
  uint32_t SafePointerCount() const {
    uint32_t count = 0;
    for (const Utils::IDoubleLinkListNode* n = safePointers_.head; n; n = n->next) ++count;
    return count;
  }

 protected:
  ~SafePointerTarget() { ClearSafePointers(); }

 private:
  friend class SafePointer<T>;
  DoubleLinkList safePointers_;
};

template <typename T>
class SafePointer : private Utils::IDoubleLinkListNode {
 public:
  SafePointer() = default;
  explicit SafePointer(T* target) { Set(target); }
  SafePointer(const SafePointer& other) : Utils::IDoubleLinkListNode() { Set(other.target_); }
  SafePointer& operator=(const SafePointer& other) {
    if (this != &other) Set(other.target_);
    return *this;
  }
  ~SafePointer() override = default;  // The node's destructor unlinks it.

  // Points at `target` (null for none), leaving the old target's list.
  void Set(T* target) {
    ListNodeUnlink(*this);
    target_ = target;
    if (target_) ListNodeLink(Target(target_)->safePointers_, *this);
  }
  T* Get() const { return target_; }
  T* operator->() const { return target_; }
  explicit operator bool() const { return target_ != nullptr; }

 private:
  friend class SafePointerTarget<T>;
  static SafePointerTarget<T>* Target(T* t) { return t; }

  T* target_ = nullptr;
};
