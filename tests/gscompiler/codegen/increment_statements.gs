class A {
  void F() {
    int x;
    x++;
    ++x;
  }
};
// An increment statement drops its value (x++) or consumes it (++x).
// listing $void@A::F(): 0 LOAD 1
// listing $void@A::F(): 3 DUP
// listing $void@A::F(): 4 IINC
// listing $void@A::F(): 5 STORE 1
// listing $void@A::F(): 8 POP
// listing $void@A::F(): 9 LOAD 1
// listing $void@A::F(): 12 IINC
// listing $void@A::F(): 13 STORE 1
// listing $void@A::F(): 16 RET
