// Element reads at an index held in a local, of member and local arrays of
// numbers and objects: the element read holds its own count, so it
// outlives the array it came from, and the array keeps its one count.
include "test.gs"

class Item {
  public int v;
};

class Main {
  int[] numbers;
  Item[] items;

  void Run() {
    numbers = new int[3];
    items = new Item[3];
    int i;
    for (i = 0; i < 3; i++) {
      numbers[i] = 10 * i + 1;
      Item made = new Item();
      made.v = 100 + i;
      items[i] = made;
    }
    int sum = 0;
    for (i = 0; i < 3; i++) sum = sum + numbers[i] + items[i].v;
    int last = 2;
    Item kept = items[last];
    items = null;
    Test.Print("member " + sum + " kept " + kept.v);
    Item[] local = new Item[2];
    local[1] = kept;
    int one = 1, zero = 0;
    Item again = local[one];
    local = null;
    Test.Print("local " + again.v + " " + (again == kept));
    float[] halves = new float[2];
    halves[1] = 0.5;
    Test.Print("float " + halves[one] + " " + halves[zero]);
  }
};
// expect: member 336 kept 102
// expect: local 102 true
// expect: float 0.500000 0.000000
