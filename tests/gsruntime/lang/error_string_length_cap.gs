// No text grows past 16,777,216 bytes: a concatenation that would make a
// longer one stops the thread instead of taking the memory.
include "test.gs"

class Main {
  void Run() {
    string s = "x";
    int i;
    for (i = 0; i < 24; i++) s = s + s;
    Test.Print("size " + s.size());
    string t = s + "y";
    Test.Print("not reached " + t.size());
  }
};
// expect: size 16777216
// expect runtime error: Thread Exception: ER_StringOutOfBounds, line 11, file error_string_length_cap.gs
