// GSNativeCast<T>(object): the native object (or context) `object` as a T,
// or null when it is not one (null included). This is dynamic_cast with a fast path:
// an object whose dynamic type is exactly T (what a native of class T is
// nearly always called on, and what its arguments nearly always are) is
// recognised by comparing its type_info with T's and converted statically;
// any other object goes through dynamic_cast, so a T reached through a
// derived class is still found. The fast path is taken when T derives
// from From (not virtually); a T beside From (a mix-in interface of native
// classes) is always looked for with dynamic_cast.
//
// For native objects (From deriving from GSObjectReference) the exact-class
// test is a type number: the first cast that finds the object to be
// exactly a T by its type_info notes T's number in the object
// (GSObjectReference::NoteType), and later casts to T compare that number
// alone. The dynamic type of a constructed object never changes, so the
// note stays true for its whole life; an object must not be cast while its
// destructors run (nothing calls natives on such an object).
//
// Thread-safe (the note is a relaxed atomic).
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>
#include <typeinfo>

#include "gsruntime/GSObjectReference.h"

namespace GSRuntime {

inline std::atomic<uint32_t> gsNativeTypeCount{0};

// A number of its own (never 0) for each class T.
template <typename T>
uint32_t GSNativeTypeId() {
  static const uint32_t id = gsNativeTypeCount.fetch_add(1, std::memory_order_relaxed) + 1;
  return id;
}

// The run-time type search, kept out of line so that the exact-class test
// inlines into the natives that use it.
template <typename T, typename From>
[[gnu::noinline]] T* GSNativeCastSearch(From* object) {
  return dynamic_cast<T*>(object);
}

template <typename T, typename From>
inline T* GSNativeCast(From* object) {
  if (object == nullptr) return nullptr;
  if constexpr (std::is_base_of_v<std::remove_cv_t<From>, std::remove_cv_t<T>>) {
    if constexpr (std::is_base_of_v<GSObjectReference, std::remove_cv_t<From>>) {
      const uint32_t id = GSNativeTypeId<std::remove_cv_t<T>>();
      if (object->NotedType() == id) return static_cast<T*>(object);
      if (typeid(*object) == typeid(T)) {
        object->NoteType(id);
        return static_cast<T*>(object);
      }
    } else if (typeid(*object) == typeid(T)) {
      return static_cast<T*>(object);
    }
  }
  return GSNativeCastSearch<T>(object);
}

}  // namespace GSRuntime
