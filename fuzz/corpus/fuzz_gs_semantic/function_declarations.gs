// Function heads: specifiers, parameter classes, final overrides, thread
// functions, prototypes and bodies.
class Base { final void Locked() { } };
class Worker isclass Base
{
  static void NotStatic() { }
  native thread void Both();
  void Take(Unknown u) { }
  void Locked() { }
  thread int Runner() { return 0; }
  int Proto(int a);
  public int Proto(int a) { return a; }
  void Pair(int a, float a) { }
};
class Again { void Once() { } void Once() { } };

// Expected messages:
// expect: function_declarations.gs(6) : Function has illegal declaration specifiers, line 6.
// expect: function_declarations.gs(7) : Function has illegal declaration specifiers, line 7.
// expect: function_declarations.gs(8) : object<Unknown> not declared, line 8.
// expect: function_declarations.gs(9) : Cannot override final function, line 9.
// expect: function_declarations.gs(10) : thread function must return void, line 10.
// expect: function_declarations.gs(12) : Function specifiers differ from prototype, line 12.
// expect: function_declarations.gs(13) : Variable a already declared in this scope, line 13.
// expect: function_declarations.gs(15) : Function ::Once() already declared, line 15.
