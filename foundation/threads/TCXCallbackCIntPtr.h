// A deferred call of a plain function with an integer argument.
//
// TCXCallbackCIntPtr holds a function taking a pointer-sized integer; Invoke
// passes it the argument it is given (as that integer) and answers the
// function's result. A null function makes Invoke answer -1.
#pragma once

#include <cstdint>

#include "foundation/threads/TCXCallbackBase.h"

class TCXCallbackCIntPtr : public TCXCallbackBase {
 public:
  using Function = int (*)(intptr_t argument);

  explicit TCXCallbackCIntPtr(Function function) : function_(function) {}

  int Invoke(void* argument) override {
    if (function_ == nullptr) return -1;
    return function_(reinterpret_cast<intptr_t>(argument));
  }

 private:
  Function function_;
};
