// A native refuses an object of the wrong native class with the parameter's
// slot number, and the run ends with ER_Exception.
include "test.gs"

class Main {
  void Run() {
    Counter plain = new Counter();
    Test.Print("calling");
    Test.CounterTotal(plain);
  }
};
// expect: calling
// expect runtime error: incorrect parameter type at parameter 1 (file test.gs)
// expect runtime error: Thread Exception: ER_Exception, line 9, file error_native_argument.gs
