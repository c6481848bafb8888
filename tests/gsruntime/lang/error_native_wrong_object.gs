// A member native called on an object that is not of its native class
// cannot be made: ER_NativeCallError.
include "test.gs"

class Main {
  void Run() {
    Counter plain = new Counter();
    plain.Add(1);
  }
};
// expect runtime error: Thread Exception: ER_NativeCallError, line 8, file error_native_wrong_object.gs
