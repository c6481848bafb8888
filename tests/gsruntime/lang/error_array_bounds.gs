// An element index below 0 stops the thread.
include "test.gs"

class Main {
  void Run() {
    int[] a = new int[3];
    int i = -1;
    Test.Print("size " + a.size());
    a[i] = 1;
  }
};
// expect: size 3
// expect runtime error: Thread Exception: ER_ArrayOutOfBounds, line 9, file error_array_bounds.gs
