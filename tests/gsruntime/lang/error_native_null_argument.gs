// A native refuses a null object argument.
include "test.gs"

class Main {
  void Run() {
    Counter none;
    Test.CounterTotal(none);
  }
};
// expect runtime error: null object at parameter 1 (file test.gs)
// expect runtime error: Thread Exception: ER_Exception, line 7, file error_native_null_argument.gs
