// A string that cannot grow by the digits of an int stops the thread at
// the line of the concatenation, as any other concatenation past the cap.
include "test.gs"

class Main {
  void Run() {
    string s = "x";
    int i;
    for (i = 0; i < 24; i++) s = s + s;
    Test.Print("size " + s.size());
    string t = s + i;
    Test.Print("not reached " + t.size());
  }
};
// expect: size 16777216
// expect runtime error: Thread Exception: ER_StringOutOfBounds, line 11, file error_string_number_cap.gs
