// new: strings, objects of a class of the unit, and arrays with an int
// length; no constructor arguments; no static or game class.
static class Util { };
game class Player { };
class Thing { };
class Maker
{
  void Run(int n)
  {
    string s = new string();
    Thing t = new Thing();
    int[] a = new int[n];
    object o = new object();
    float[] f = new float[2.5];
    t = new Thing(1);
    o = new Util();
    o = new Player();
    a = new int();
  }
};

// Expected messages:
// expect: new_expressions.gs(13) : cannot new unnamed object, line 13.
// expect: new_expressions.gs(13) : cannot cast from  to object, line 13.
// expect: new_expressions.gs(14) : non-integral expression for new[], line 14.
// expect: new_expressions.gs(14) : cannot cast from  to float[], line 14.
// expect: new_expressions.gs(15) : constructors not yet supported, line 15.
// expect: new_expressions.gs(15) : cannot cast from  to Thing, line 15.
// expect: new_expressions.gs(16) : cannot new static or game class, line 16.
// expect: new_expressions.gs(16) : cannot cast from  to object, line 16.
// expect: new_expressions.gs(17) : cannot new static or game class, line 17.
// expect: new_expressions.gs(17) : cannot cast from  to object, line 17.
// expect: new_expressions.gs(18) : cannot new type int, line 18.
// expect: new_expressions.gs(18) : cannot cast from  to int[], line 18.
