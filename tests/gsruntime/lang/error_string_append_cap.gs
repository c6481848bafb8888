// A text grown in place (s = s + t on a local) reaches 16,777,216 bytes
// and stops there.
include "test.gs"

class Main {
  void Run() {
    string s = "x";
    int i;
    for (i = 0; i < 23; i++) s = s + s;
    string t = s[1, ];
    s = s + t;
    s = s + "y";
    Test.Print("size " + s.size() + " last " + s[s.size() - 1]);
    s = s + "z";
    Test.Print("not reached");
  }
};
// expect: size 16777216 last 121
// expect runtime error: Thread Exception: ER_StringOutOfBounds, line 14, file error_string_append_cap.gs
