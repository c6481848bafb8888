class A {
  void F(string a, string b, string c) {
    a = b;
    a = b + c;
    a = "k";
  }
};
// Assignment copies a string only when it is an lvalue.
// listing $void@A::F(string,string,string): 0 LOADREF 2
// listing $void@A::F(string,string,string): 3 SCOPY
// listing $void@A::F(string,string,string): 4 STOREREF 1
// listing $void@A::F(string,string,string): 7 LOADREF 2
// listing $void@A::F(string,string,string): 10 LOADREF 3
// listing $void@A::F(string,string,string): 13 SCAT
// listing $void@A::F(string,string,string): 14 STOREREF 1
// listing $void@A::F(string,string,string): 17 PUSHSTR 0
// listing $void@A::F(string,string,string): 20 STOREREF 1
// listing $void@A::F(string,string,string): 23 RET
