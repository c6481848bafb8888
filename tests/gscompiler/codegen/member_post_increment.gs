class B { public int m; };
class A {
  int F(B o) {
    int x;
    x = o.m++;
    return x;
  }
};
// A post-increment of a member whose value is used takes a temporary
// (slot 3, after the parameter and the local).
// listing $int@A::F(B): 0 LOADREF 1
// listing $int@A::F(B): 3 DUPREF
// listing $int@A::F(B): 4 GETM 2
// listing $int@A::F(B): 7 STOREKEEP 3
// listing $int@A::F(B): 10 IINC
// listing $int@A::F(B): 11 SETM 2
// listing $int@A::F(B): 14 LOAD 3
// listing $int@A::F(B): 17 STORE 2
// listing $int@A::F(B): 20 LOAD 2
// listing $int@A::F(B): 23 RETV
