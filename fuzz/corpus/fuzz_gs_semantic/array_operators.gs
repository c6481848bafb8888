// size, isclass and copy.
class Other { };
class Arrays
{
  void Run(int i, string s, int[] a, float[] b, object o)
  {
    i = a.size() + s.size();
    i = i.size();
    if (o.isclass(Other)) i = 1; else i = 2;
    if (s.isclass(Other)) i = 1; else i = 2;
    if (o.isclass(Nobody)) i = 1; else i = 2;
    a.copy(a);
    i.copy(a);
    a.copy(i);
    a.copy(b);
  }
};

// Expected messages:
// expect: array_operators.gs(8) : .size operator requires an array type, line 8.
// expect: array_operators.gs(8) : cannot cast from  to int, line 8.
// expect: array_operators.gs(10) : .isclass operator requires an object type, line 10.
// expect: array_operators.gs(10) : invalid if expression, line 10.
// expect: array_operators.gs(11) : class Nobody not declared for .isclass operator, line 11.
// expect: array_operators.gs(11) : invalid if expression, line 11.
// expect: array_operators.gs(13) : .copy operator requires an array type, line 13.
// expect: array_operators.gs(14) : .copy expression must be an array type, line 14.
// expect: array_operators.gs(15) : left and right types incompatible for .copy operator, line 15.
