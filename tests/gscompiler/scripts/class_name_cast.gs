class A
{
  void f(object o)
  {
    A a;
    a = (A)o;
  }
};
// Class casts are written cast<A>o; a parenthesised class name is not a cast.
// expect: class_name_cast.gs(6) : parse error, line 6
