// One call site that meets objects of several classes in turn calls each
// object's own method: its class's override, an ancestor's method it does
// not override, and a method reached through a view of an ancestor block.
include "test.gs"

class Shape {
  public string Name() { return "shape"; }
  public int Sides() { return 0; }
};
class Square isclass Shape {
  public string Name() { return "square"; }
  public int Sides() { return 4; }
};
class Triangle isclass Shape {
  public int Sides() { return 3; }
};
class Tile isclass Square {
  public string Name() { return "tile " + inherited(); }
};

class Main {
  string Describe(Shape s) { return s.Name() + "/" + s.Sides(); }

  void Run() {
    Shape[] shapes = new Shape[5];
    shapes[0] = new Square();
    shapes[1] = new Triangle();
    shapes[2] = new Shape();
    shapes[3] = new Tile();
    shapes[4] = shapes[0];
    int round;
    for (round = 0; round < 2; round++) {
      string line = "";
      int i;
      for (i = 0; i < 5; i++) line = line + Describe(shapes[i]) + " ";
      Test.Print(line);
    }
    Square square = cast<Square>(shapes[3]);
    Test.Print(Describe(square) + " " + square.Sides());
  }
};
// expect: square/4 shape/3 shape/0 tile square/4 square/4 
// expect: square/4 shape/3 shape/0 tile square/4 square/4 
// expect: tile square/4 4
