class A {
  int F(int v) {
    switch (v) {
      case 3: return 30;
      case 1: return 10;
      case 2: return 20;
      default: return 0;
    }
    return -1;
  }
};
// The switch table is sorted by case value.
// listing $int@A::F(int): 0 LOAD 1
// listing $int@A::F(int): 3 SWITCH 3 1->40 2->46 3->34 default->52
// listing $int@A::F(int): 34 PUSHI 30
// listing $int@A::F(int): 39 RETV
// listing $int@A::F(int): 40 PUSHI 10
// listing $int@A::F(int): 45 RETV
// listing $int@A::F(int): 46 PUSHI 20
// listing $int@A::F(int): 51 RETV
// listing $int@A::F(int): 52 PUSHI 0
// listing $int@A::F(int): 57 RETV
// listing $int@A::F(int): 58 PUSHI -1
// listing $int@A::F(int): 63 RETV
