// A store of a reference at the largest int index is refused as well.
include "test.gs"

class Main {
  void Run() {
    string[] s = new string[1];
    s[0] = "kept";
    s[2147483647] = "x";
    Test.Print("after");
  }
};
// expect runtime error: Thread Exception: ER_ArrayOutOfBounds, line 8, file error_ref_array_index_max.gs
