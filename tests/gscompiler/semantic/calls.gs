// Calls: overloads by cost, implicit casts, ambiguity, unknown functions,
// "inherited", non-public methods, calls ahead of a body (prototype needed).
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
  int early = inherited();
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
  void Ahead();
  void Caller() { Ahead(); Behind(); }
  void Ahead() { }
  void Behind() { }
};

// Expected messages:
// expect: calls.gs(13) : internal compiler error while parsing 'inherited', line 13.
// expect: calls.gs(13) : cannot cast from  to int, line 13.
// expect: calls.gs(14) : 'inherited' can not be used on native or thread function, line 14.
// expect: calls.gs(15) : Error in expression, line 15.
// expect: calls.gs(20) : function Pick not declared, line 20.
// expect: calls.gs(21) : function call Twin is ambiguous, line 21.
// expect: calls.gs(22) : function Unknown not declared, line 22.
// expect: calls.gs(23) : function Absent not declared in class Base or derivative, line 23.
// expect: calls.gs(24) : function ::Secret() not public in object Secret, line 24.
// expect: calls.gs(26) : 'inherited' can only be used on current function, line 26.
// expect: calls.gs(29) : function Behind not declared, line 29.
