// Int arithmetic wraps in 32 bits and never traps; comparisons answer by
// sign, so no difference can overflow.
include "test.gs"

class Main {
  void Show(string what, int v) { Test.Print(what + " " + v); }

  void Run() {
    int big = 2147483647;
    int low = -2147483647 - 1;
    int m1 = -1;
    Show("add", big + 1);
    Show("sub", low - 1);
    Show("mul", big * 3);
    Show("neg", -low);
    Show("shl", 1 << 31);
    Show("shl33", 3 << 33);
    Show("shr", low >> 31);
    Show("div", low / m1);
    Show("mod", low % m1);
    Show("divs", -7 / 2);
    Show("mods", -7 % 2);
    Show("bits", (12 & 10) + (12 | 10) * 100 + (12 ^ 10) * 10000);
    Show("not", ~0);
    int i = 5;
    i++;
    ++i;
    i--;
    Show("inc", i);
    int up = big, down = low;
    up++;
    down--;
    Show("wrap", up);
    Show("wrap", down);
    if (big > m1) Test.Print("big > -1");
    if (low < 1) Test.Print("low < 1");
    if (!(big < m1)) Test.Print("not big < -1");
    if (big >= big and low <= low) Test.Print("equal bounds");
    if (big != low) Test.Print("differ");
    bool gt = big > m1;
    bool lt = low < big;
    Test.Print("held " + gt + " " + lt + " " + (m1 > big));
    Test.Print("const " + (m1 < 0) + " " + (big < 0) + " " + (low <= -2147483647));
  }
};
// expect: add -2147483648
// expect: sub 2147483647
// expect: mul 2147483645
// expect: neg -2147483648
// expect: shl -2147483648
// expect: shl33 6
// expect: shr 1
// expect: div -2147483648
// expect: mod 0
// expect: divs -3
// expect: mods -1
// expect: bits 61408
// expect: not -1
// expect: inc 6
// expect: wrap -2147483648
// expect: wrap 2147483647
// expect: big > -1
// expect: low < 1
// expect: not big < -1
// expect: equal bounds
// expect: differ
// expect: held true true false
// expect: const true false true
