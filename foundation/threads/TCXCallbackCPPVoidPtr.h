// A deferred call of a member function.
//
// TCXCallbackCPPVoidPtr<T> holds an object (not owned) and one of its member
// functions taking a void pointer; Invoke calls it with the argument it is
// given and answers 0. The object must outlive the callback's run. A null
// object or function makes Invoke do nothing (it still answers 0).
#pragma once

#include "foundation/threads/TCXCallbackBase.h"

template <class T>
class TCXCallbackCPPVoidPtr : public TCXCallbackBase {
 public:
  using Method = void (T::*)(void* argument);

  TCXCallbackCPPVoidPtr(T* object, Method method) : object_(object), method_(method) {}

  int Invoke(void* argument) override {
    if (object_ != nullptr && method_ != nullptr) (object_->*method_)(argument);
    return 0;
  }

 private:
  T* object_;
  Method method_;
};
