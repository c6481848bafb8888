// Counting script references (GSValue.h, GSScriptInstance.h).
//
// - GSObjectReference::AddRef(ref): one count more; null is ignored.
// - GSObjectReference::Release(ref): one count less; null is ignored. At 0:
//   a native object that defers its release (DeferRelease) is left to do
//   so; any other native object is destroyed (its destructor detaches and
//   frees the instance); a pure script instance with a class is destroyed
//   (GSScriptInstance::Destroy).
// - GSContextOfRef(ref): the context the referenced instance is registered
//   in, or null.
// - GSStoreReference(holder, slot, value, addRef): stores a reference into
//   a field or element of `holder` under the context rule. A value whose
//   instance belongs to a context may only be stored into a holder of the
//   same context, unless the value's context shares its references; a
//   holder without a context counts as another context. A value that
//   belongs to no context may be stored anywhere (its count alone keeps it).
//   A refused value is stored as null and, unless `addRef`, released (it
//   was the caller's count to hand over). Otherwise the slot's old
//   reference is released and the value stored; with `addRef` the value
//   gains a count (the caller keeps its own). Answers whether the value was
//   stored.
//
// Not thread-safe: counts are plain integers on the script thread.
#pragma once

#include "gsruntime/GSObjectReference.h"
#include "gsruntime/GSValue.h"

namespace GSRuntime {

class GSContext;
struct GSScriptInstance;

GSContext* GSContextOfRef(GSValue ref);
bool GSStoreReference(const GSScriptInstance* holder, GSValue* slot, GSValue value, bool addRef);

}  // namespace GSRuntime
