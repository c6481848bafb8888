class A
{
  int f(int[] a)
  {
    return a[0] + a[
    ];
  }
};
// "[" and "]" with only white space between them are one token.
// expect: blank_index.gs(6) : parse error, line 6
