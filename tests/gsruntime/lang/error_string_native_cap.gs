// A native that would make a text longer than 16,777,216 bytes (a buffer
// filled past it) ends the call with the error of an overlong string.
// root: standard
include "test.gs"
include "HTMLBuffer.gs"

class Main {
  void Run() {
    string s = "x";
    int i;
    for (i = 0; i < 20; i++) s = s + s;
    HTMLBuffer b = HTMLBufferStatic.Construct();
    for (i = 0; i < 16; i++) b.Print(s);
    Test.Print("size " + b.AsString().size());
    b.Print("!");
    string all = b.AsString();
    Test.Print("not reached");
  }
};
// expect: size 16777216
// expect runtime error: Thread Exception: ER_StringOutOfBounds, line 16, file error_string_native_cap.gs
