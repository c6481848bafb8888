// An element read of a member array that is null stops the thread.
include "test.gs"

class Main {
  string[] words;
  void Run() {
    int i = 0;
    Test.Print("before");
    Test.Print("read " + words[i]);
  }
};
// expect: before
// expect runtime error: Thread Exception: ER_NullArrayReference, line 9, file error_member_array_null.gs
