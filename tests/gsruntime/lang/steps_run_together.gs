// Instructions the interpreter runs together give what they give one by
// one: a constant added, subtracted or multiplied with the result stored
// or used on, an arithmetic result stored, and float comparisons in
// conditions (NaN compares equal to everything, infinities in order),
// and counters stepped as statements (x++; x--;).
include "test.gs"

class Main {
  string B(bool v) { if (v) return "T"; return "F"; }
  float Half(float f) { return f * 0.5; }
  int Less(int i) { return i - 3; }

  // Every test of two floats, as a branch and as a value.
  void Order(string what, float a, float b) {
    string branches = "";
    if (a < b) branches = branches + "T"; else branches = branches + "F";
    if (a <= b) branches = branches + "T"; else branches = branches + "F";
    if (a > b) branches = branches + "T"; else branches = branches + "F";
    if (a >= b) branches = branches + "T"; else branches = branches + "F";
    if (a == b) branches = branches + "T"; else branches = branches + "F";
    if (a != b) branches = branches + "T"; else branches = branches + "F";
    bool lt = a < b;
    bool ge = a >= b;
    Test.Print(what + " " + branches + " " + B(lt) + B(ge));
  }

  void Run() {
    float s = 0.0;
    float x = 0.5;
    float y = 100.0;
    int i = 0;
    int bits = 0;
    while (i < 1000) {
      s = s + x * 1.0001;
      x = x + 0.25;
      y = y - 0.125;
      bits = bits ^ i;
      i = i + 1;
    }
    Test.Print("loop " + s + " " + x + " " + y + " " + bits + " " + i);
    float g = 1.5;
    g = g * 3.0;
    Test.Print("scaled " + g + " " + (g + 2.5) + " " + Half(g - 1.0) + " " + (g * 2.0));
    int n = 7;
    n = n - 10;
    int m = n + 2147483647;
    Test.Print("ints " + n + " " + m + " " + (m + 1) + " " + Less(n));
    int a = 12;
    int b = 10;
    int c = a & b;
    int d = a | b;
    int e = a * b;
    Test.Print("binary " + c + " " + d + " " + e + " " + (a - b));
    float zero = 0.0;
    float negzero = -zero;
    float nan = zero / negzero;
    float inf = -1.0 / negzero;
    Order("less", 1.0, 2.0);
    Order("equal", 2.0, 2.0);
    Order("greater", 3.0, 2.0);
    Order("nan", nan, 1.0);
    Order("inf", inf, 1.0);
    Order("infs", inf, inf);
    Order("negzero", negzero, zero);
    float f = 0.0;
    int steps = 0;
    while (f <= 2.0) { f = f + 0.5; steps++; }
    while (f > -1.0) f = f - 1.0;
    Test.Print("float loops " + steps + " " + f);
    int up = 0;
    int down = 10;
    int k;
    for (k = 0; k < 5; k++) {
      up++;
      down--;
    }
    while (down > 2) down--;
    int wrap = 2147483647;
    wrap++;
    Test.Print("counters " + k + " " + up + " " + down + " " + wrap);
  }
};
// expect: loop 125387.593750 250.500000 -25.000000 0 1000
// expect: scaled 4.500000 7.000000 1.750000 9.000000
// expect: ints -3 2147483644 2147483645 -6
// expect: binary 8 14 120 2
// expect: less TTFFFT TF
// expect: equal FTFTTF FT
// expect: greater FFTTFT FT
// expect: nan FTFTTF FT
// expect: inf FFTTFT FT
// expect: infs FTFTTF FT
// expect: negzero FTFTTF FT
// expect: float loops 5 -1.500000
// expect: counters 5 5 2 -2147483648
