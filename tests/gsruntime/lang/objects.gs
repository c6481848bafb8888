// Objects: members, initialisers, inheritance, virtual and inherited
// calls, casts, isclass, static classes, defines, switch and a call
// through a prototype to a function whose body comes later.
include "test.gs"

class Shape {
  public int sides = 0;
  public string name = "shape";
  public define int MAX = 8;
  public int Area() { return 0; }
  public string Describe() { return name + "/" + sides + "/" + Area(); }
};

class Square isclass Shape {
  public int edge = 3;
  public int Area() { return edge * edge; }
  public string Describe() { return "square:" + inherited(); }
};

class Cube isclass Square {
  public int Area() { return 6 * inherited(); }
};

static class Counter2 {
  public int hits;
};

class Main {
  string Kind(int n) {
    switch (n) {
      case -5: return "minus five";
      case 0: return "zero";
      case 7: return "seven";
      default: return "other";
    }
    return "";
  }

  string Later(int n);

  void Run() {
    Shape s = new Shape();
    Square q = new Square();
    q.sides = 4;
    Cube c = new Cube();
    Shape[] all = new Shape[3];
    all[0] = s;
    all[1] = q;
    all[2] = c;
    int i;
    for (i = 0; i < all.size(); i++) Test.Print(all[i].Describe());
    Test.Print("max " + Shape.MAX);
    if (c.isclass(Square) and c.isclass(Shape) and !s.isclass(Square)) Test.Print("isclass");
    Square back = cast<Square>all[2];
    Square none = cast<Square>all[0];
    Test.Print("cast " + back.Area() + " " + (none == null));
    if (all[1] == q and all[0] != q) Test.Print("identity");
    Counter2.hits++;
    Counter2.hits++;
    Test.Print("static " + Counter2.hits);
    Test.Print(Kind(-5) + " " + Kind(0) + " " + Kind(7) + " " + Kind(6));
    Test.Print(Later(2));
  }

  string Later(int n) { return "declared later " + n; }
};
// expect: shape/0/0
// expect: square:shape/4/9
// expect: square:shape/0/54
// expect: max 8
// expect: isclass
// expect: cast 54 true
// expect: identity
// expect: static 2
// expect: minus five zero seven other
// expect: declared later 2
