// GSRuntime::GSObject: the native side of a script object (kind 3), and the
// base of every native class that scripts see.
//
// An object is born detached. AttachScriptInstance(cls, context) creates
// its script instance (GSScriptInstance::Create: constructors run on the
// machine's own thread) and answers whether that worked; a null class
// detaches instead and answers false, and an object that already has an
// instance keeps it and answers false. Detach clears the instance's
// native-object pointer and releases the instance. The destructor destroys
// an instance that only this object holds (count at most 1) directly and
// otherwise detaches it, leaving it to its other holders.
//
// CallFunction(context, cls, instance, signature, args, result) calls the
// script method named by its signature on `instance` (a reference to the
// instance, seen through `cls`): without a context or when the context has
// no router it answers false and runs nothing. InvokeFunction is the same
// call after that check, for hosts that run scripts in contexts without a
// router. The method is found through the class (GSClass::FindFunction) and
// dispatched through the instance's method table, so an override runs. The
// object reference gains a count for the frame and so does each argument
// that the function takes as a reference; `args` must hold exactly the
// function's parameters. A function that returns a value stores it in
// `*result` when given (a reference with a count that the caller then
// owns); otherwise a returned reference is released. Anything but ER_Done
// from the run answers false. A thread function (flag 0x10) starts a new
// thread of the game object (CallFunction only: false when the object is
// not a game object on a router or has no thread to spare) and answers
// true at once; the thread runs at the object's next update, and its
// frame holds its own counts of the object and the reference arguments.
//
// Allocation: plain new; a native class may use its own. Not thread-safe.
#pragma once

#include <span>

#include "gsruntime/GSObjectReference.h"
#include "gsruntime/GSValue.h"

namespace GSRuntime {

class GSClass;
class GSContext;

class GSObject : public GSObjectReference {
 public:
  GSObject() : GSObjectReference(KindObject) {}
  ~GSObject() override;

  GSValue GetScriptInstance() const override { return instance_; }
  virtual bool AttachScriptInstance(GSClass* cls, GSContext* context);
  void Detach();

  GSContext* Context() const { return context_; }
  // What a script object runs besides its instance (a game object's
  // threads and handlers) goes; the pool teardown calls it while every
  // instance is pinned. Nothing here.
  virtual void DropScriptState() {}
  // The class of the attached instance, or null.
  GSClass* GetScriptClass() const;

  static bool CallFunction(GSContext* context, GSClass* cls, GSValue instance,
                           const char* signature, std::span<const GSValue> args, GSValue* result);
  static bool InvokeFunction(GSClass* cls, GSValue instance, const char* signature,
                             std::span<const GSValue> args, GSValue* result);

 protected:
  explicit GSObject(Kind kind) : GSObjectReference(kind) {}

 private:
  friend struct GSScriptInstance;
  GSValue instance_ = 0;
  GSContext* context_ = nullptr;
};

}  // namespace GSRuntime
