// GSRuntime::GSNativeFunction: a native binding in the machine's registry,
// found by two interned strings: the script class that declares the native
// ("GameObject") and the full signature string
// ("$int@GameObject::GetId()", compared whole: "$", return type, "@",
// class, "::", name, "(", argument types joined by ",", ")").
//
// Call(object, stack) runs the native for the native object behind slot 0
// of the current frame of `stack`; it answers false when the call cannot be
// made (the interpreter then stops the thread with ER_NativeCallError). A
// native reads its arguments from the current frame (slot 0 the object,
// parameters from slot 1) and pushes one result for a non-void signature.
//
// GSCNativeFunction binds a plain function (context, stack): it refuses a
// null object and passes the context of the object (the context a GSObject
// was attached to, or the one a string's or array's instance is registered
// in).
//
// Bindings are made by registrars (GSMachine.h) and owned by the machine.
// Not thread-safe.
#pragma once

#include "kiv/PString.h"

namespace GSRuntime {

class GSContext;
class GSObjectReference;
class GSStack;

class GSNativeFunction {
 public:
  GSNativeFunction(const char* className, const char* signature)
      : className_(className), signature_(signature) {}
  virtual ~GSNativeFunction() = default;
  GSNativeFunction(const GSNativeFunction&) = delete;
  GSNativeFunction& operator=(const GSNativeFunction&) = delete;

  const Kiv::PString& ClassName() const { return className_; }
  const Kiv::PString& Signature() const { return signature_; }

  virtual bool Call(GSObjectReference* object, GSStack& stack) = 0;

 private:
  Kiv::PString className_;
  Kiv::PString signature_;
};

class GSCNativeFunction : public GSNativeFunction {
 public:
  using Function = void (*)(GSContext* context, GSStack& stack);

  GSCNativeFunction(const char* className, const char* signature, Function function)
      : GSNativeFunction(className, signature), function_(function) {}

  bool Call(GSObjectReference* object, GSStack& stack) override;

  // The context of a native object: a GSObject's own, else the context its
  // instance is registered in.
  static GSContext* ContextOf(GSObjectReference* object);

 private:
  Function function_;
};

}  // namespace GSRuntime
