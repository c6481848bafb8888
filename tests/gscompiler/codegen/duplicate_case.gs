class A {
  int F(int v) {
    switch (v) {
      case 1: return 1;
      case 1: return 2;
      default: return 0;
    }
    return 0;
  }
};
// A duplicate case value names its line.
// expect: duplicate_case.gs(5) : case has duplicate value, line 5
// expect: Internal Code Generation Error...
