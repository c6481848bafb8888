// A store at the largest int index is refused: growing the array to
// index + 1 must not wrap.
include "test.gs"

class Main {
  void Run() {
    int[] a = new int[1];
    Test.Print("before");
    a[2147483647] = 1;
    Test.Print("after");
  }
};
// expect: before
// expect runtime error: Thread Exception: ER_ArrayOutOfBounds, line 9, file error_array_index_max.gs
