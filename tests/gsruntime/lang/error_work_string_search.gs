// A search whose part nearly matches at every place compares the part at
// each of them, and costs budget for that work, not just the text's length.
include "test.gs"
include "gs.gs"

class Main {
  void Run() {
    string text = "a";
    string part = "a";
    int i;
    for (i = 0; i < 16; i++) text = text + text;
    for (i = 0; i < 10; i++) part = part + part;
    part = part + "b";
    Test.Print(Str.Find(text, part, 0) + " " + Str.Find(text + "b", part, 0));
    for (i = 0; i < 200; i++) Str.Find(text, part, 0);
    Test.Print("not reached");
  }
};
// expect: -1 64512
// expect runtime error: Thread Exception: ER_Timeout, line 15, file error_work_string_search.gs
