// GSRuntime::GSSameText: whether two byte strings are equal. The texts it
// is made for (type names, string constants) are mostly a few bytes long:
// from 4 to 16 bytes it compares two overlapping words of each, with no
// loop and no library call; shorter texts go byte by byte, longer ones to
// memcmp. No bytes outside either text are read.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace GSRuntime {

// Whether the first and the last sizeof(Word) bytes of `p` and `q` agree
// (size at least sizeof(Word)).
template <typename Word>
inline bool GSSameEnds(const char* p, const char* q, size_t size) {
  Word p0, p1, q0, q1;
  std::memcpy(&p0, p, sizeof(Word));
  std::memcpy(&q0, q, sizeof(Word));
  std::memcpy(&p1, p + size - sizeof(Word), sizeof(Word));
  std::memcpy(&q1, q + size - sizeof(Word), sizeof(Word));
  return ((p0 ^ q0) | (p1 ^ q1)) == 0;
}

inline bool GSSameText(std::string_view a, std::string_view b) {
  const size_t size = a.size();
  if (size != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  if (size > 16) return std::memcmp(p, q, size) == 0;
  if (size >= 8) return GSSameEnds<uint64_t>(p, q, size);
  if (size >= 4) return GSSameEnds<uint32_t>(p, q, size);
  for (size_t i = 0; i < size; ++i)
    if (p[i] != q[i]) return false;
  return true;
}

}  // namespace GSRuntime
