// Strings: assignment copies, concatenation makes a new string (also with
// a null side), index, range, size, stores past the end, splices,
// comparison, conversions and .copy().
include "test.gs"

class Main {
  string Grow(string p) {
    p = p + "!";
    return p;
  }

  void Run() {
    string s = "hello";
    string none;
    Test.Print("size " + s.size() + " char " + s[1] + " last " + s[4]);
    Test.Print("range [" + s[1, 3] + "] [" + s[, 2] + "] [" + s[3, ] + "] [" + s[-4, 99] + "]");
    string t = s;
    t[0] = 'j';
    Test.Print(s + " " + t);
    string u = s + none;
    u[0] = 'c';
    Test.Print("cat " + s + " " + u);
    string ab = "ab";
    ab[3] = 'X';
    Test.Print("[" + ab + "] " + ab.size());
    string w = "abcdef";
    w[1, 3] = "XYZ";
    Test.Print("splice " + w);
    w[, 2] = none;
    Test.Print("cut " + w);
    if (none == "") Test.Print("null equals empty");
    if (none < "a") Test.Print("null below a");
    if ("abc" < "abd" and "b" > "abc" and "x" != "y") Test.Print("ordered");
    Test.Print("conv " + 42 + " " + true + " " + false + " " + 1.5 + " " + (-7));
    Test.Print("empty [" + none + none + "]");
    string built = "";
    string[] parts = new string[1];
    int i;
    for (i = 0; i < 5; i++) {
      built = built + i;
      if (i == 2) parts[0] = built;
    }
    Test.Print("built " + built + " kept " + parts[0]);
    string base = "hey";
    string grown = Grow(base);
    Test.Print(base + " " + grown);
    string copied;
    copied.copy(base);
    copied[0] = 'k';
    Test.Print("copy " + copied + " source " + base);
    copied.copy(none);
    Test.Print("copy of null [" + copied + "]");
  }
};
// expect: size 5 char 101 last 111
// expect: range [el] [he] [lo] [hello]
// expect: hello jello
// expect: cat hello cello
// expect: [ab X] 4
// expect: splice aXYZdef
// expect: cut YZdef
// expect: null equals empty
// expect: null below a
// expect: ordered
// expect: conv 42 true false 1.500000 -7
// expect: empty []
// expect: built 01234 kept 012
// expect: hey hey!
// expect: copy key source hey
// expect: copy of null []
