// PointerArray<T> and GrowArray128: a growable array of T* whose capacity
// is always a multiple of 128 entries.
//
// GrowArray128(array, n) does nothing when n is within the capacity;
// otherwise it reallocates to n rounded up to a multiple of 128, copying the
// `count` used entries (new slots are null). It answers false, leaving the
// array unchanged, when the rounded size does not fit 32 bits or memory runs
// out, so a size read from input cannot take the program down.
//
// Ownership: the array owns its storage, not the objects pointed at. Not
// thread-safe.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

template <typename T>
struct PointerArray {
  std::unique_ptr<T*[]> data;
  uint32_t count = 0;
  uint32_t capacity = 0;
};

template <typename T>
bool GrowArray128(PointerArray<T>& array, uint64_t n) {
  if (n <= array.capacity) return true;
  const uint64_t rounded = (n + 127) / 128 * 128;
  if (rounded > UINT32_MAX) return false;
  std::unique_ptr<T*[]> grown(new (std::nothrow) T*[rounded]());
  if (!grown) return false;
  std::copy_n(array.data.get(), std::min(array.count, array.capacity), grown.get());
  array.data = std::move(grown);
  array.capacity = static_cast<uint32_t>(rounded);
  return true;
}
