// Element reads at an index held in a local, of member and local arrays of
// numbers and objects: the element read holds its own count, so it
// outlives the array it came from, and the array keeps its one count. An
// array and an index passed on to a call stay an array and an index.
include "test.gs"

class Item {
  public int v;
};

class Main {
  int[] numbers;
  Item[] items;
  int at;

  int Pick(int[] a, int i) { return a[i] * 1000 + i; }
  int PickItem(Item[] a, int i) { return a[i].v * 1000 + i; }

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
    at = 1;
    Test.Print("other indices " + numbers[at] + " " + items[at].v + " " + numbers[2] + " " + numbers[at + 1]);
    int last = 2;
    Test.Print("passed " + Pick(numbers, last) + " " + PickItem(items, last));
    Item kept = items[last];
    items = null;
    Test.Print("member " + sum + " kept " + kept.v);
    Item[] local = new Item[2];
    local[1] = kept;
    int one = 1, zero = 0;
    Test.Print("passed " + PickItem(local, one));
    Item again = local[one];
    local = null;
    Test.Print("local " + again.v + " " + (again == kept));
    float[] halves = new float[2];
    halves[1] = 0.5;
    Test.Print("float " + halves[one] + " " + halves[zero]);
  }
};
// expect: other indices 11 101 21 21
// expect: passed 21002 102002
// expect: member 336 kept 102
// expect: passed 102001
// expect: local 102 true
// expect: float 0.500000 0.000000
