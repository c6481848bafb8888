// A native that raises a script exception stops the thread.
include "test.gs"

class Main {
  void Run() {
    Test.Fail("Test.Fail> asked to");
    Test.Print("not reached");
  }
};
// expect runtime error: Test.Fail> asked to (file test.gs)
// expect runtime error: Thread Exception: ER_Exception, line 6, file error_native_exception.gs
