// A text built piece by piece grows in place, so the work charge of moved
// data leaves it alone: appending to a 1 MiB text 4,000 times (a literal,
// then another string) moves only what is appended, while copying the
// text each time would spend the budget 4 times over.
include "test.gs"

class Main {
  void Run() {
    string s = "x";
    int i;
    for (i = 0; i < 20; i++) s = s + s;
    string dot = ".";
    for (i = 0; i < 2000; i++) s = s + "y";
    for (i = 0; i < 2000; i++) s = s + dot;
    Test.Print("size " + s.size() + " " + s[1048576, 1048578] + " " + s[s.size() - 1, ]);
  }
};
// expect: size 1052576 yy .
