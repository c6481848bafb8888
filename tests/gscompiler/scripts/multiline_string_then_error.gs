class A
{
  string s = "first line
second line
third line" 7;
};
// A string may run over line ends; the error is at the line of the 7.
// expect: multiline_string_then_error.gs(5) : parse error, line 5
