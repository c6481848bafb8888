class A
{
  bool f(bool a, bool b)
  {
    // The logical operators are the keywords "and" and "or"; && is two & tokens.
    return a && b;
  }
};
// expect: logical_symbols.gs(6) : parse error, line 6
