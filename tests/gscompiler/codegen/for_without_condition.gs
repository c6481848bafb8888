class A {
  void F() {
    for (;;) { break; }
  }
};
// A for without condition pushes true.
// listing $void@A::F(): 0 PUSH1
// listing $void@A::F(): 1 JZ -> 16
// listing $void@A::F(): 6 JMP -> 16
// listing $void@A::F(): 11 JMP -> 0
// listing $void@A::F(): 16 RET
