// A native without a binding is reported at link time and fails when
// called.
include "test.gs"

class Main {
  void Run() {
    Test.Missing();
  }
};
// expect runtime error: Could not resolve native link $void@Test::Missing()
// expect runtime error: Thread Exception: ER_NativeCallError, line 7, file error_native_unbound.gs
