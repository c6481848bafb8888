// if, while and for test the first node of their expression chain: void,
// void[] and untyped values are refused; a for without an initialiser is
// not tested.
class Loops
{
  void Nothing() { }
  native void[] Empty();
  void Run(int n)
  {
    if (Nothing()) n = 1; else n = 2;
    while (Nothing()) n = 3;
    for (Nothing(); n < 3; n++) n = 4;
    for (; Nothing(); ) n = 5;
    if (n) n = 6; else n = 7;
    if (Empty()) n = 8; else n = 9;
  }
};

// Expected messages:
// expect: conditions.gs(10) : invalid if expression, line 10.
// expect: conditions.gs(11) : invalid while expression, line 11.
// expect: conditions.gs(12) : invalid for expression, line 12.
// expect: conditions.gs(15) : invalid if expression, line 15.
