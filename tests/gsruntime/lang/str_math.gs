// Str and Math natives: trimming with the default and a given set, numbers,
// case, tokens (runs of separators skipped), word unpacking that changes
// the caller's string, search bounds, and Rand's range.
include "test.gs"
include "gs.gs"

class Main {
  void Run() {
    string s = "  ab ";
    Str.TrimLeft(s, null);
    Test.Print("[" + s + "]");
    s = "  ab ";
    Str.TrimRight(s, "");
    Test.Print("[" + s + "]");
    s = "xxay";
    Str.TrimLeft(s, "x");
    Test.Print(s);
    s = " \t ";
    Str.TrimRight(s, null);
    Test.Print("[" + s + "]");
    string none = null;
    Str.TrimLeft(none, null);
    Str.ToUpper(none);
    Test.Print(Str.ToInt(" -42x") + " " + Str.ToInt("abc") + " " + Str.ToInt(none));
    Test.Print(Str.ToInt("99999999999") + " " + Str.ToFloat(" 2.5e1") + " " + Str.ToFloat(none));
    s = "MiXed";
    Str.ToUpper(s);
    Test.Print(s);
    Str.ToLower(s);
    Test.Print(s);
    string[] t = Str.Tokens("a,,b,", ",");
    Test.Print(t.size() + " " + t[0] + " " + t[1]);
    t = Str.Tokens(" one  two\tthree ", null);
    Test.Print(t.size() + " " + t[2]);
    t = Str.Tokens(none, null);
    Test.Print(t.size());
    s = "12 34";
    Test.Print(Str.UnpackInt(s) + " [" + s + "]");
    Test.Print(Str.UnpackInt(s) + " [" + s + "]");
    Test.Print(Str.UnpackInt(s));
    s = "word";
    Test.Print(Str.UnpackString(s) + " [" + s + "]");
    s = " 1.5 x";
    Test.Print(Str.UnpackFloat(s) + " " + Str.UnpackString(s));
    Test.Print(Str.Find("abcabc", "c", 3) + " " + Str.Find("abcabc", "c", -1) + " " +
               Str.Find("abc", "c", 4) + " " + Str.Find("abc", "", 3) + " " +
               Str.Find("abc", none, 0) + " " + Str.Find("abc", "x", 0));
    int i, low = 10, high = -1, fives = 0;
    float flow = 10.0, fhigh = -1.0;
    for (i = 0; i < 10000; i++) {
      int r = Math.Rand(0, 10);
      if (r < low) low = r;
      if (r > high) high = r;
      if (Math.Rand(5, 5) == 5) fives++;
      float f = Math.Rand(0.0, 1.0);
      if (f < flow) flow = f;
      if (f > fhigh) fhigh = f;
    }
    Test.Print(low + " " + high + " " + fives + " " + (flow >= 0.0) + " " + (fhigh < 1.0));
    int down = 0;
    for (i = 0; i < 1000; i++) {
      int r = Math.Rand(10, 0);
      if (r > 0 and r <= 10) down++;
    }
    Test.Print(down + " " + Math.Sqrt(16.0));
  }
};
// expect: [ab ]
// expect: [  ab]
// expect: ay
// expect: []
// expect: -42 0 0
// expect: 2147483647 25.000000 0.000000
// expect: MIXED
// expect: mixed
// expect: 2 a b
// expect: 3 three
// expect: 0
// expect: 12 [ 34]
// expect: 34 []
// expect: 0
// expect: word []
// expect: 1.500000 x
// expect: 5 -1 -1 3 -1 -1
// expect: 0 9 10000 true true
// expect: 1000 4.000000
