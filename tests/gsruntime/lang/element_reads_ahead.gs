// Loops over arrays of objects, member and local, shorter and longer than
// the reads look ahead, with null elements among them and last: each read
// gives the element at its index (null included), the last elements are
// read like the others, and every object read keeps its own count once
// the arrays are gone.
include "test.gs"

class Item {
  public int v;
};

class Main {
  Item[] items;

  // Sum of the values and count of the nulls of the first n elements.
  string Walk(Item[] a, int n) {
    int i, sum = 0, nulls = 0;
    for (i = 0; i < n; i++) {
      Item it = a[i];
      if (it) sum = sum + it.v; else nulls++;
    }
    return sum + "/" + nulls;
  }

  string WalkMember(int n) {
    int i, sum = 0, nulls = 0;
    for (i = 0; i < n; i++) {
      Item it = items[i];
      if (it) sum = sum + it.v; else nulls++;
    }
    return sum + "/" + nulls;
  }

  void Fill(int n) {
    items = new Item[0];
    int i;
    for (i = 0; i < n; i++) {
      if (i % 4 == 3 or i == n - 1) {
        items[i] = null;
      } else {
        Item made = new Item();
        made.v = i + 1;
        items[i] = made;
      }
    }
  }

  void Run() {
    int n;
    string line = "";
    for (n = 1; n <= 20; n++) {
      Fill(n);
      line = line + " " + WalkMember(n) + "," + Walk(items, n);
    }
    Test.Print("walks" + line);
    Fill(12);
    Item first = items[0], last = items[10];
    int zero = 0, ten = 10;
    Item firstAgain = items[zero], lastAgain = items[ten];
    items = null;
    Test.Print("kept " + first.v + " " + last.v);
    Test.Print("same " + (first == firstAgain) + " " + (last == lastAgain));
  }
};
// expect: walks 0/1,0/1 1/1,1/1 3/1,3/1 6/1,6/1 6/2,6/2 11/2,11/2 17/2,17/2 24/2,24/2 24/3,24/3 33/3,33/3 43/3,43/3 54/3,54/3 54/4,54/4 67/4,67/4 81/4,81/4 96/4,96/4 96/5,96/5 113/5,113/5 131/5,131/5 150/5,150/5
// expect: kept 1 11
// expect: same true true
