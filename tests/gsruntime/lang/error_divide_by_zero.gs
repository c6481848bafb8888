// An int division by zero stops the thread with the exception text, the
// stack dump and one line per frame.
include "test.gs"

class Main {
  int Divide(int a, int b) {
    Test.Print("dividing");
    return a / b;
  }

  void Run() {
    int zero = 0;
    Divide(1, zero);
    Test.Print("not reached");
  }
};
// expect: dividing
// expect runtime error: Thread Exception: ER_DivideByZero, line 8, file error_divide_by_zero.gs
// expect runtime error: Stack Dump...
// expect runtime error: function $int@Main::Divide(int,int), line -1
// expect runtime error: function $void@Main::Run(), line 13
