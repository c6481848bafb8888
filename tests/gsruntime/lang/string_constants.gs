// String constants: each use gives a string of its own, whatever an earlier
// use did to its string in place (stores, splices, appends) and whoever
// still holds it.
include "test.gs"

class Main {
  string Marked() {
    string s = "constant";
    s[0] = 'K';
    return s;
  }
  string Spliced() {
    string s = "constant";
    s[1, 3] = "--";
    return s;
  }
  string Grown() {
    string s = "constant";
    s = s + "!";
    return s;
  }
  string Plain() { return "constant"; }

  void Run() {
    int i;
    for (i = 0; i < 3; i++) {
      Test.Print(Marked() + " " + Spliced() + " " + Grown() + " " + Plain());
    }
    string a = Plain();
    string b = Plain();
    a[0] = 'X';
    Test.Print(a + " " + b);
    string[] kept = new string[3];
    for (i = 0; i < 3; i++) {
      kept[i] = "k";
      kept[i][0] = 'a' + i;
    }
    Test.Print(kept[0] + kept[1] + kept[2] + " " + "k");
  }
};
// expect: Konstant c--stant constant! constant
// expect: Konstant c--stant constant! constant
// expect: Konstant c--stant constant! constant
// expect: Xonstant constant
// expect: abc k
