class A {
  void G() { }
  void F() {
    for (; G(); ) { }
  }
};
// A void loop condition unbalances the stack: no library is written.
// expect: Internal Compiler Error.
