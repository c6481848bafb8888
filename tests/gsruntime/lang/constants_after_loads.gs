// A local and then a constant give what the two steps give one by one,
// whatever takes them: arithmetic the two run together with (and a store
// after it), comparisons as conditions and as values, and every other use
// of the pair (other arithmetic, a call's arguments, a return); so do two
// locals and then a constant, and a sum that is returned at once.
include "test.gs"

class Main {
  string B(bool v) { if (v) return "T"; return "F"; }
  int Pair(int a, int b) { return a * 100 + b; }
  float Scaled(float f, float by) { return f * by; }
  int Third(int n) { return n / 3; }
  int Sum(int a, int b) { return a + b; }

  void Run() {
    int x = 7;
    int y = -7;
    float f = 1.5;
    int i;
    for (i = 0; i < 2; i++) {
      Test.Print("fused " + (x + 3) + " " + (x - 3) + " " + (y - 3) + " " + (x < 3) + " " +
                 B(x < 8) + B(x >= 7) + B(y > -8) + B(y <= -8));
      Test.Print("pushed " + (x * 3) + " " + (x / 2) + " " + (x % 4) + " " + (x & 5) + " " +
                 (x | 8) + " " + (x ^ 2) + " " + (x << 2) + " " + (y >> 1) + " " +
                 Pair(x, 3) + " " + Third(x));
      Test.Print("floats " + (f + 0.25) + " " + (f - 2.0) + " " + (f * 4.0) + " " +
                 (f / 4.0) + " " + Scaled(f, 2.0) + " " + B(f < 2.0) + B(f > 2.0));
      Test.Print("pairs " + Sum(x, x) + " " + (x + y * 3) + " " + (x - y - 1) + " " +
                 (f + f * 0.5) + " " + (x + y + 2));
      x = x + 1;
      y = y - 1;
      f = f * 2.0;
    }
  }
};
// expect: fused 10 4 -10 false TTTF
// expect: pushed 21 3 3 5 15 5 28 2147483644 703 2
// expect: floats 1.750000 -0.500000 6.000000 0.375000 3.000000 TF
// expect: pairs 14 -14 13 2.250000 2
// expect: fused 11 5 -11 false FTFT
// expect: pushed 24 4 0 0 8 10 32 2147483644 803 2
// expect: floats 3.250000 1.000000 12.000000 0.750000 6.000000 FT
// expect: pairs 16 -16 15 4.500000 2
