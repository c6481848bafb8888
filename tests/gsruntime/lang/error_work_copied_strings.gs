// Copying a large text costs budget by the bytes it moves: a loop that
// copies a 1 MiB text runs out of the budget long before its end.
include "test.gs"

class Main {
  void Run() {
    string s = "x";
    int i;
    for (i = 0; i < 20; i++) s = s + s;
    string t;
    for (i = 0; i < 4000; i++) t = s + "y";
    Test.Print("not reached");
  }
};
// expect runtime error: Thread Exception: ER_Timeout, line 11, file error_work_copied_strings.gs
