class A
{
  int inherited, constructor, this;
  int secured;
};
// expect: keyword_as_name.gs(4) : parse error, line 4
