// An element index of a member array past its end stops the thread; a
// member array that is null stops it too (error_member_array_null.gs).
include "test.gs"

class Main {
  int[] numbers;
  void Run() {
    numbers = new int[2];
    int i = 2;
    Test.Print("size " + numbers.size());
    Test.Print("read " + numbers[i]);
  }
};
// expect: size 2
// expect runtime error: Thread Exception: ER_ArrayOutOfBounds, line 11, file error_member_array_bounds.gs
