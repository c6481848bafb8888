// Identifiers: undeclared names, class names used as values, shadowing.
static class Tools { public define int Size = 4; };
class Plain { public int value; };
class Names
{
  int count;
  void Run(int count)
  {
    missing = 1;
    count = Tools.Size;
    object o = Plain;
    o = Tools;
    { string count = "inner"; count = count + 1; }
    count = count + 1;
  }
};

// Expected messages:
// expect: names.gs(9) : variable missing not declared, line 9.
// expect: names.gs(9) : cannot cast from int to , line 9.
// expect: names.gs(11) : class Plain is not static, line 11.
