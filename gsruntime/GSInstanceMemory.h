// GSRuntime::GSInstanceMemory: where the script instances of one class get
// their memory, when the class has its own (GSClass::instanceMemory; null
// means calloc and free).
//
// Allocate(native, bytes): `bytes` zeroed bytes for the instance attached to
// `native` (null for a pure script instance), or null when out of memory.
// Free(memory, bytes): gives back what Allocate answered for an instance of
// that size; it may also be handed memory from calloc (an instance made
// before the class had its own memory) and must then free it.
//
// The runtime calls both on the thread that runs scripts; the object
// outlives every instance it placed.
#pragma once

#include <cstddef>

namespace GSRuntime {

class GSObjectReference;

class GSInstanceMemory {
 public:
  virtual void* Allocate(GSObjectReference* native, size_t bytes) = 0;
  virtual void Free(void* memory, size_t bytes) = 0;

 protected:
  ~GSInstanceMemory() = default;
};

}  // namespace GSRuntime
