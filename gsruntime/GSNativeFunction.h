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
// The three kinds of binding:
// - GSCNativeFunction binds a plain function (context, stack): it refuses a
//   null object and passes the context of the object (the context a
//   GSObject was attached to, or the one a string's or array's instance is
//   registered in).
// - GSCPPNativeFunction<T> binds a member function of the native class T:
//   it refuses an object that is not a T (null included) and otherwise calls
//   the member on it (the test is GSNativeCast.h's: no run-time type search
//   for an object of exactly class T).
//   GSCPPMethodNativeFunction<T, M> is the same with the member fixed when
//   compiled: the call is direct, so the member may be inlined into it (for
//   natives that scripts call in tight loops).
// - GSCPPContextNativeFunction<T> binds a member function of the context
//   class T: it refuses an object whose context is not a T and otherwise
//   calls the member on that context.
// A native never returns its result through Call: the bool only says
// whether the call could be made.
//
// Bindings are made by registrars (GSMachine.h) and owned by the machine.
// Not thread-safe.
#pragma once

#include "gsruntime/GSContext.h"
#include "gsruntime/GSNativeCast.h"
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

template <typename T>
class GSCPPNativeFunction : public GSNativeFunction {
 public:
  using Method = void (T::*)(GSStack& stack);

  GSCPPNativeFunction(const char* className, const char* signature, Method method)
      : GSNativeFunction(className, signature), method_(method) {}

  bool Call(GSObjectReference* object, GSStack& stack) override {
    T* native = GSNativeCast<T>(object);
    if (native == nullptr || method_ == nullptr) return false;
    (native->*method_)(stack);
    return true;
  }

 private:
  Method method_;
};

template <typename T, void (T::*M)(GSStack&)>
class GSCPPMethodNativeFunction final : public GSNativeFunction {
 public:
  GSCPPMethodNativeFunction(const char* className, const char* signature)
      : GSNativeFunction(className, signature) {}

  // Flattened: the member and what it calls are compiled into this entry,
  // which a script's tight loop reaches once per call.
  [[gnu::flatten]] bool Call(GSObjectReference* object, GSStack& stack) override {
    T* native = GSNativeCast<T>(object);
    if (native == nullptr) return false;
    (native->*M)(stack);
    return true;
  }
};

template <typename T>
class GSCPPContextNativeFunction : public GSNativeFunction {
 public:
  using Method = void (T::*)(GSStack& stack);

  GSCPPContextNativeFunction(const char* className, const char* signature, Method method)
      : GSNativeFunction(className, signature), method_(method) {}

  bool Call(GSObjectReference* object, GSStack& stack) override {
    T* context = GSNativeCast<T>(GSCNativeFunction::ContextOf(object));
    if (context == nullptr || method_ == nullptr) return false;
    (context->*method_)(stack);
    return true;
  }

 private:
  Method method_;
};

}  // namespace GSRuntime
