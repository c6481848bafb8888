// Calls: overloads by cost, implicit casts, ambiguity, unknown functions,
// "inherited" and non-public methods.
class Left { public void Twin(int a) { } };
class Right { public void Twin(int a) { } };
class Both isclass Left, Right { };
class Base { public void Hook(float f) { } void Secret() { } };
class Calls isclass Base
{
  void Take(float f) { }
  void Pick(int a) { }
  void Pick(float a) { }
  native void Outside();
  thread void Worker() { inherited(); }
  void Hook(float f) { inherited(f); inherited(f, f); }
  void Run(Both both, Base base, string s)
  {
    Take(1);
    Pick(1);
    Pick(s);
    both.Twin(1);
    Unknown(1);
    base.Absent();
    base.Secret();
    me.Hook(2);
    base.inherited();
  }
};

// Expected messages:
// expect: calls.gs(13) : 'inherited' can not be used on native or thread function, line 13.
// expect: calls.gs(14) : Error in expression, line 14.
// expect: calls.gs(19) : function Pick not declared, line 19.
// expect: calls.gs(20) : function call Twin is ambiguous, line 20.
// expect: calls.gs(21) : function Unknown not declared, line 21.
// expect: calls.gs(22) : function Absent not declared in class Base or derivative, line 22.
// expect: calls.gs(23) : function ::Secret() not public in object Secret, line 23.
// expect: calls.gs(25) : 'inherited' can only be used on current function, line 25.
