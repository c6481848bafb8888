// Copying a large array costs budget by the bytes it moves.
include "test.gs"

class Main {
  void Run() {
    int[] a = new int[131072];
    int[] b;
    int i;
    for (i = 0; i < 4000; i++) b.copy(a);
    Test.Print("not reached");
  }
};
// expect runtime error: Thread Exception: ER_Timeout, line 9, file error_work_copied_arrays.gs
