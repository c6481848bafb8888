// GSRuntime::GSObjectReference: the counted base of every native object that
// a script reference can designate (strings, arrays, GSObject and the native
// classes derived from it).
//
// Each native object is attached to exactly one script instance
// (GSScriptInstance.h), whose header carries the reference count; the
// native object itself is not counted. GetScriptInstance gives the
// reference to that instance's block 0 (null when detached). The kind tells
// the pool teardown and the release rule what the object is.
//
// Ownership: the instance's count governs the object's life (AddRef and
// Release, GSReference.h); a native object is destroyed through its virtual
// destructor, which detaches it from its instance. Not thread-safe.
#pragma once

#include <cstdint>

#include "gsruntime/GSValue.h"

namespace GSRuntime {

class GSObjectReference {
 public:
  enum Kind : uint32_t {
    KindNone = 0,
    KindArray = 1,
    KindString = 2,
    KindObject = 3,
    KindGameObject = 4
  };

  explicit GSObjectReference(Kind kind) : kind_(kind) {}
  virtual ~GSObjectReference() = default;
  GSObjectReference(const GSObjectReference&) = delete;
  GSObjectReference& operator=(const GSObjectReference&) = delete;

  Kind GetKind() const { return kind_; }
  // A GSObject (kind 3) or a game object (kind 4).
  bool IsObject() const { return kind_ == KindObject || kind_ == KindGameObject; }

  // The reference to block 0 of the attached script instance, or null.
  virtual GSValue GetScriptInstance() const = 0;

  // One count more or less on a script reference (null is ignored);
  // GSReference.h tells what happens at 0.
  static void AddRef(GSValue ref);
  static void Release(GSValue ref);

  // Asked when the instance's count reaches 0: true when the object defers
  // its own deletion (a game object still on a router does); the caller then
  // does nothing more. No object defers here.
  virtual bool DeferRelease() { return false; }

 private:
  Kind kind_;
};

}  // namespace GSRuntime
