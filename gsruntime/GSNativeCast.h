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
// Thread-safe (no state).
#pragma once

#include <type_traits>
#include <typeinfo>

namespace GSRuntime {

// The run-time type search, kept out of line so that the exact-class test
// inlines into the natives that use it.
template <typename T, typename From>
[[gnu::noinline]] T* GSNativeCastSearch(From* object) {
  return dynamic_cast<T*>(object);
}

template <typename T, typename From>
inline T* GSNativeCast(From* object) {
  if (object == nullptr) return nullptr;
  if constexpr (std::is_base_of_v<std::remove_cv_t<From>, std::remove_cv_t<T>>)
    if (typeid(*object) == typeid(T)) return static_cast<T*>(object);
  return GSNativeCastSearch<T>(object);
}

}  // namespace GSRuntime
