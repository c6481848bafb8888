// Operator types and l-values.
class Ops
{
  int Get() { return 1; }
  void Run(int i, float f, string s, bool b, int[] a, object o)
  {
    s = -s;
    i = ~f;
    b = !null;
    i = i * s;
    s = s + o;
    i = f << 1;
    b = o < o;
    b = a == null;
    b = o and null;
    Get()++;
    ++5;
    s = s + 1 + f + b;
  }
};

// Expected messages:
// expect: operators.gs(7) : illegal types for unary operand -, line 7
// expect: operators.gs(7) : cannot cast from  to string, line 7.
// expect: operators.gs(8) : illegal types for unary operand ~, line 8
// expect: operators.gs(8) : cannot cast from  to int, line 8.
// expect: operators.gs(9) : illegal types for unary operand !, line 9
// expect: operators.gs(9) : cannot cast from  to bool, line 9.
// expect: operators.gs(10) : illegal types for operand *, line 10
// expect: operators.gs(10) : cannot cast from  to int, line 10.
// expect: operators.gs(11) : illegal types for operand +, line 11
// expect: operators.gs(11) : cannot cast from  to string, line 11.
// expect: operators.gs(12) : illegal types for operand <<, line 12
// expect: operators.gs(12) : cannot cast from  to int, line 12.
// expect: operators.gs(15) : illegal types for operand and, line 15
// expect: operators.gs(15) : cannot cast from  to bool, line 15.
// expect: operators.gs(16) : expression not an l-value for ++ operator, line 16
// expect: operators.gs(17) : expression not an l-value for ++ operator, line 17
