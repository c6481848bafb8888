// A native that scans a large text costs budget by its length, and so do
// comparisons of large texts.
include "test.gs"
include "gs.gs"

class Main {
  void Run() {
    string s = "x";
    int i;
    for (i = 0; i < 20; i++) s = s + s;
    string t = s[0, 1048575] + "y";
    for (i = 0; i < 600; i++) if (s == t) Test.Print("same");
    Test.Print("compared");
    for (i = 0; i < 4000; i++) Str.ToUpper(s);
    Test.Print("not reached");
  }
};
// expect: compared
// expect runtime error: Thread Exception: ER_Timeout, line 14, file error_work_string_natives.gs
