class A
{
  string s = "one \
two";
};
// A backslash before a line end does not continue a literal.
// expect: string_backslash_newline.gs(3) : parse error, line 3
