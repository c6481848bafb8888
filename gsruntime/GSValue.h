// GSRuntime::GSValue: one script slot (stack slot, frame slot, member or
// array element).
//
// Slots are 64 bits wide so that a reference (the address of the first slot
// of a block of a script instance, GSScriptInstance.h) fits. Ints, floats
// and bools live zero-extended in the low 32 bits and keep 32-bit
// arithmetic, so a zero test works for every kind; null is all zero bits.
// Block offsets stored in a block's first slot are read sign-extended
// (GSInt). Which slots hold references is known to the byte code and to the
// class layouts, not to the slot itself.
//
// GSIsReferenceType(code) is true for the type codes whose values the
// runtime counts: string 4, object 5, the arrays 7 to 11 and null 13.
#pragma once

#include <cstdint>
#include <cstring>

namespace GSRuntime {

using GSValue = uint64_t;

inline int32_t GSInt(GSValue v) {
  return static_cast<int32_t>(static_cast<uint32_t>(v));
}
inline GSValue GSFromInt(int32_t i) {
  return static_cast<uint32_t>(i);
}
inline GSValue GSFromBool(bool b) {
  return b ? 1u : 0u;
}

inline float GSFloat(GSValue v) {
  const uint32_t bits = static_cast<uint32_t>(v);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

inline GSValue GSFromFloat(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// A reference value is the address of a block's first slot.
inline GSValue* GSBlockOf(GSValue ref) {
  return reinterpret_cast<GSValue*>(static_cast<uintptr_t>(ref));
}
inline GSValue GSFromBlock(const GSValue* block) {
  return reinterpret_cast<uintptr_t>(block);
}

inline bool GSIsReferenceType(uint32_t code) {
  return code == 4 || code == 5 || (code >= 7 && code <= 11) || code == 13;
}

}  // namespace GSRuntime
