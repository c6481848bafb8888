// A float division by +0.0 stops the thread.
include "test.gs"

class Main {
  void Run() {
    float zero = 0.0;
    Test.Print("before");
    float x = 1.0 / zero;
    Test.Print("not reached " + x);
  }
};
// expect: before
// expect runtime error: Thread Exception: ER_DivideByZero, line 8, file error_float_divide_by_zero.gs
