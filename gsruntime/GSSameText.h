// GSRuntime::GSSameText: whether two byte strings are equal. The texts it
// is made for (type names, string constants) are mostly a few bytes long:
// up to 16 bytes it compares two overlapping words of each, with no loop
// and no library call; longer texts go to memcmp. No bytes outside either
// text are read.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace GSRuntime {

inline bool GSSameText(std::string_view a, std::string_view b) {
  const size_t size = a.size();
  if (size != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  if (size >= 8) {
    if (size > 16) return std::memcmp(p, q, size) == 0;
    uint64_t p0, p1, q0, q1;
    std::memcpy(&p0, p, 8);
    std::memcpy(&q0, q, 8);
    std::memcpy(&p1, p + size - 8, 8);
    std::memcpy(&q1, q + size - 8, 8);
    return ((p0 ^ q0) | (p1 ^ q1)) == 0;
  }
  if (size >= 4) {
    uint32_t p0, p1, q0, q1;
    std::memcpy(&p0, p, 4);
    std::memcpy(&q0, q, 4);
    std::memcpy(&p1, p + size - 4, 4);
    std::memcpy(&q1, q + size - 4, 4);
    return ((p0 ^ q0) | (p1 ^ q1)) == 0;
  }
  for (size_t i = 0; i < size; ++i)
    if (p[i] != q[i]) return false;
  return true;
}

}  // namespace GSRuntime
