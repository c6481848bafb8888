// An HTML buffer's text is bounded like a script string: text up to the
// bound is taken, and an append past it stops the script instead of
// growing the buffer without end.
// root: standard
include "test.gs"
include "HTMLBuffer.gs"

class Main {
  void Run() {
    string mb = "x";
    int i;
    for (i = 0; i < 20; i++) mb = mb + mb;
    HTMLBuffer b = HTMLBufferStatic.Construct();
    for (i = 0; i < 15; i++) b.Print(mb);
    b.Escape("<>");
    Test.Print("taken " + b.AsString().size());
    for (i = 0; i < 1000; i++) b.Print(mb);
    Test.Print("not reached");
  }
};
// expect: taken 15728648
// expect runtime error: HTMLBuffer.Print> buffer too large
