// Member and local variables: specifiers, repeated names, define constants
// (folded initialisers are constants; string operators and calls are not).
class Holder
{
  public define int Five = 2 + 3;
  define float Half = 1 / 2.0;
  define string Label = "x" + "y";
  int Value();
  define int Called = Value();
  final int member;
  int twice, twice;
  int Value() { int n; float n; { int n = 2; } return Five; }
  define bool Flag = 1 < 2;
};

// Expected messages:
// expect: variables_and_defines.gs(7) : define variable must have a const assignment, line 7.
// expect: variables_and_defines.gs(9) : define variable must have a const assignment, line 9.
// expect: variables_and_defines.gs(10) : member declaration has invalid specifiers, line 10.
// expect: variables_and_defines.gs(11) : Variable twice already declared in this scope, line 11.
// expect: variables_and_defines.gs(12) : Variable n already declared in this scope, line 12.
