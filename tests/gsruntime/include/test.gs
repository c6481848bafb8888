// The test native class of the script tests: scripts include this file and
// print through Test.Print. Not one of the standard libraries.
class Counter {
  public native void Add(int n);
  public native int Total();
};

static class Test {
  public native void Print(string line);
  public native string Join(int i, float f, bool b, string s);
  public native int Nothing();
  public native Counter NewCounter();
  public native int CounterTotal(Counter c);
  public native void Fail(string text);
  public native void Missing();
};
