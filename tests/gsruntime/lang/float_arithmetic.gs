// Float arithmetic, conversions both ways (NaN and out-of-range values give
// INT_MIN) and comparisons (NaN compares equal to everything).
include "test.gs"

class Main {
  void Show(string what, float v) { Test.Print(what + " " + v); }
  string B(bool v) { if (v) return "T"; return "F"; }

  // A float and an int compared in either order compare as floats.
  void Mixed(float f, int i) {
    Test.Print("mixed " + f + " " + i + ": " + B(f < i) + B(f <= i) + B(f > i) + B(f >= i) +
               B(f == i) + B(f != i) + " " + B(i < f) + B(i <= f) + B(i > f) + B(i >= f) +
               B(i == f) + B(i != f));
  }

  void Run() {
    float a = 7.5;
    float b = 2.0;
    float zero = 0.0;
    float negzero = -zero;
    float big = 3000000000.0;
    float nan = zero / negzero;
    Show("add", a + b);
    Show("sub", a - b);
    Show("mul", a * b);
    Show("div", a / b);
    Show("mod", a % b);
    Show("negmod", -a % b);
    Show("neg", -a);
    a++;
    b--;
    Show("inc", a);
    Show("dec", b);
    Show("third", 1.0 / 3.0);
    Show("tiny", 0.0000004);
    Show("inf", 1.0 / negzero);
    Test.Print("trunc " + (int)(-2.75) + " " + (int)2.75);
    Test.Print("nan " + (int)nan + " big " + (int)big + " small " + (int)(-big));
    Test.Print("tofloat " + (float)(-3));
    if (a > b) Test.Print("a > b");
    if (b < a) Test.Print("b < a");
    if (nan == 1.0 and nan <= 1.0 and nan >= 1.0) Test.Print("nan equal");
    if (!(nan < 1.0) and !(nan > 1.0)) Test.Print("nan not ordered");
    Mixed(2.5, 3);
    Mixed(3.0, 3);
    Mixed(-0.5, -1);
  }
};
// expect: add 9.500000
// expect: sub 5.500000
// expect: mul 15.000000
// expect: div 3.750000
// expect: mod 1.500000
// expect: negmod -1.500000
// expect: neg -7.500000
// expect: inc 8.500000
// expect: dec 1.000000
// expect: third 0.333333
// expect: tiny 0.000000
// expect: inf -inf
// expect: trunc -2 2
// expect: nan -2147483648 big -2147483648 small -2147483648
// expect: tofloat -3.000000
// expect: a > b
// expect: b < a
// expect: nan equal
// expect: nan not ordered
// expect: mixed 2.500000 3: TTFFFT FFTTFT
// expect: mixed 3.000000 3: FTFTTF FTFTTF
// expect: mixed -0.500000 -1: FFTTFT TTFFFT
