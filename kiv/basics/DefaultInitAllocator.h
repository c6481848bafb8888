// Kiv::DefaultInitAllocator<T>: std::allocator<T>, except that an element
// made without a value is default-initialised, so resize(n) of a vector of
// floats or integers leaves the new elements unset instead of zeroing them.
// For arrays whose every element is written right after they are sized;
// resize(n, value), assign and copies behave as with std::allocator.
//
// Kiv::FilledVector<T> is the vector that uses it. Nothing here throws
// except on exhaustion of memory.
#pragma once

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace Kiv {

template <class T>
class DefaultInitAllocator : public std::allocator<T> {
 public:
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };

  DefaultInitAllocator() = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>& /*other*/) noexcept {}

  template <class U>
  void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

template <class T>
using FilledVector = std::vector<T, DefaultInitAllocator<T>>;

}  // namespace Kiv
