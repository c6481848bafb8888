class A {
  int F(string s) {
    if (s) return 1;
    return 0;
  }
};
// A string as a condition tests for null.
// listing $int@A::F(string): 0 LOADREF 1
// listing $int@A::F(string): 3 NOTNULL
// listing $int@A::F(string): 4 JZ -> 15
// listing $int@A::F(string): 9 PUSHI 1
// listing $int@A::F(string): 14 RETV
// listing $int@A::F(string): 15 PUSHI 0
// listing $int@A::F(string): 20 RETV
