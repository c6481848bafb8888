// A call into another library's class at the same method index and with as
// many arguments as a function of this class that returns a value: what
// the call leaves is taken from the code after it, not from this library's
// own functions.
include "test.gs"

class Main {
  string Own(string s) { return s + "!"; }

  void Run() {
    Test.Print(Own("value"));
    Test.Print("void");
  }
};
// expect: value!
// expect: void
