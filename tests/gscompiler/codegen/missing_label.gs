class A {
  void F() {
    goto nowhere;
  }
};
// A goto without its label names its line.
// expect: missing_label.gs(3) : no matching label, line 3
// expect: Internal Code Generation Error...
