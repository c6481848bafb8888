// GSRuntime::GSScriptInstance: the header of every object a script can hold,
// directly followed by its field area of `slotCount` slots.
//
// A script-class instance's field area is made of blocks: block 0 holds the
// class's own part and each ancestor's part starts at that ancestor's slot
// offset p (GSClass ancestry). A block's first slot holds -p (0 for block 0)
// and its second the address of that class's entry in the method table.
// A reference (GSValue.h) is the address of a block's first slot, so
// FromRef finds the instance from any block: a reference to an ancestor
// block is the same object seen as that ancestor. Strings and arrays embed
// an instance with one slot (holding 0) and no class (GSEmbeddedInstance).
//
// Header fields: the tracked-object pool slot (null without a context), the
// signed reference count, the attached native object (null for a pure
// script instance) and the class (null for strings and arrays).
//
// Life: Create makes an instance for a class, attaches it to a native
// object, registers it in the context's pool, stores the slot initialisers
// and runs the constructors on the machine's own thread (the ancestors'
// initialisers from the last ancestry entry to the first, then the class's
// own); a constructor that fails undoes it all and Create answers false.
// Destroy releases the reference fields, leaves the pool and frees the
// instance. Pin, Empty and Free are the three passes of the pool teardown
// (TrackedObjectPool.h). LiveCount counts instances that exist (pure and
// embedded), for leak checks.
//
// Not thread-safe: everything runs on the thread that runs scripts.
#pragma once

#include <cstdint>

#include "gsruntime/GSValue.h"

namespace GSRuntime {

class GSClass;
class GSContext;
class GSObject;
class GSObjectReference;
struct GSPoolSlot;

struct GSScriptInstance {
  GSPoolSlot* poolSlot;
  int32_t count;
  uint32_t slotCount;
  GSObjectReference* native;
  GSClass* cls;

  GSValue* Slots() { return reinterpret_cast<GSValue*>(this + 1); }
  GSValue Block0() { return GSFromBlock(Slots()); }

  // The instance of a non-null reference to any of its blocks.
  static GSScriptInstance* FromRef(GSValue ref) {
    GSValue* block = GSBlockOf(ref);
    return reinterpret_cast<GSScriptInstance*>(block + GSInt(*block)) - 1;
  }

  static int64_t LiveCount();

  // A pure instance of `slots` zeroed slots with count 1, in the class's
  // own memory when it has some (GSInstanceMemory.h); null when out of
  // memory. Deallocate gives it back (no pool bookkeeping, no releases).
  static GSScriptInstance* Allocate(GSClass* cls, GSObjectReference* native, uint32_t slots);
  static void Deallocate(GSScriptInstance* instance);

  static bool Create(GSClass* cls, GSObject* object, GSContext* context);
  static void Destroy(GSScriptInstance* instance);
  // Releases and clears every reference field of the class and its
  // ancestors; false (nothing done) when the instance is not of `cls`.
  static bool ReleaseFields(GSClass* cls, GSScriptInstance* instance);
  // The reference to the block of `cls` in the instance, or null.
  static GSValue GetClassData(GSScriptInstance* instance, const GSClass* cls);

  // Pool teardown passes.
  void Pin();
  void Empty();
  void Free();
};

static_assert(sizeof(GSScriptInstance) % sizeof(GSValue) == 0);

// The instance inside a string or an array: the header and its one slot.
struct GSEmbeddedInstance {
  GSScriptInstance header;
  GSValue slot0;

  // Count 1, the native object, no class; registered in the context's pool
  // when a context is given.
  void Init(GSObjectReference* native, GSContext* context);
  // Leaves the pool; the instance no longer exists.
  void Finish();
};

}  // namespace GSRuntime
