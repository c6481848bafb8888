class A
{
  int x;
}
// The closing brace needs a semicolon; the parser finds out at end of input.
// expect: class_without_semicolon.gs(7) : parse error, line 7
