// The "." operator: a reference with a known class, public members, and
// class names only for static classes.
class Box { int secret; public int open; public define int Limit = 3; void Hidden() { } };
static class Shared { public int total; };
class User
{
  void Run(int i, string s, Box b, object o)
  {
    i = i.open;
    i = s.open;
    i = o.open;
    i = b.secret;
    i = b.missing;
    i = Box.open;
    i = Box.Limit;
    i = Shared.total;
    b.Hidden();
    Box.Hidden();
    b.Other();
  }
};

// Expected messages:
// expect: member_access.gs(9) : . operator cannot be used on a non-reference type, line 9.
// expect: member_access.gs(9) : cannot cast from  to int, line 9.
// expect: member_access.gs(10) : unknown object class for '.' operator, line 10.
// expect: member_access.gs(10) : cannot cast from  to int, line 10.
// expect: member_access.gs(11) : unknown object class for '.' operator, line 11.
// expect: member_access.gs(11) : cannot cast from  to int, line 11.
// expect: member_access.gs(12) : member secret not public in object Box, line 12.
// expect: member_access.gs(13) : member missing does not exist in object Box, line 13.
// expect: member_access.gs(13) : cannot cast from  to int, line 13.
// expect: member_access.gs(14) : open is not a static class or variable within this class, line 14.
// expect: member_access.gs(14) : cannot cast from  to int, line 14.
// expect: member_access.gs(17) : function ::Hidden() not public in object Hidden, line 17.
// expect: member_access.gs(18) : Box is not a static class or variable within this class, line 18.
// expect: member_access.gs(18) : function ::Hidden() not public in object Hidden, line 18.
// expect: member_access.gs(19) : function Other not declared in class Box or derivative, line 19.
