// Counting script references (GSValue.h, GSScriptInstance.h).
//
// - GSObjectReference::AddRef(ref): one count more; null is ignored.
// - GSObjectReference::Release(ref): one count less; null is ignored. At 0:
//   a native object that defers its release (DeferRelease) is left to do
//   so; any other native object is destroyed (its destructor detaches and
//   frees the instance); a pure script instance with a class is destroyed
//   (GSScriptInstance::Destroy).
//   Destructions never nest, so that a chain of any length (a list, a deep
//   tree, objects held through arrays) is freed in constant C++ stack: an
//   instance that reaches 0 while another is being destroyed on the same
//   thread waits on a stack that the outermost Release works off before it
//   returns (strings, which hold nothing, go at once). What the order of
//   release shows is kept: objects begin their destruction (a native
//   object's destructor runs) depth first, the references of one object in
//   the order it releases them (fields as ReleaseFields goes, array
//   elements by index), each with everything it releases before the next,
//   as the nested calls did. Two things differ: an object's own memory and
//   pool slot go back before those of the objects it held rather than
//   after, and an object that several dying objects hold begins its
//   destruction when its last count goes, which may come before the
//   subtree of an earlier sibling rather than after it. When the stack
//   cannot grow (out of memory) the instance is destroyed at once, nested.
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
