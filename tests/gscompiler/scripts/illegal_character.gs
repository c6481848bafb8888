class A
{
  void f()
  {
    int x = 1;

    x = x @ 2;
  }
};
// expect: illegal_character.gs(7) : parse error, line 7
