class A
{
  int a;
  int x = a = 1;
};
// expect: initialiser_with_assignment.gs(4) : parse error, line 4
