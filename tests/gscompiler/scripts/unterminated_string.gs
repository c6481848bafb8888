class A
{
  string s = "never closed;
  int x;
};
// The lone quote is an illegal character.
// expect: unterminated_string.gs(3) : parse error, line 3
