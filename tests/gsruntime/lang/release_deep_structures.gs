// A tree 300,000 deep, arrays of 200,000 objects each holding the next or
// the one before, and a chain of 200,000 objects each holding the next in
// an array of its own: each is built over runs of a thread and released
// when the local that holds it goes out of scope. They are built one after
// another, so that only one is held at a time.
include "test.gs"
include "gs.gs"

class Tree { public Tree left; public Tree right; };

class Link { public Link next; public Link[] rest; };

class Main isclass GameObject {
  // `spine` grown by `levels` (a multiple of 2) levels, each with a leaf.
  Tree Deeper(Tree spine, int levels) {
    Tree o;
    int i;
    for (i = 0; i < levels; i = i + 2) {
      o = new Tree(); o.left = spine; o.right = new Tree(); spine = o;
      o = new Tree(); o.left = spine; o.right = new Tree(); spine = o;
    }
    return spine;
  }

  thread void DeepTree() {
    Tree root;
    int part;
    for (part = 0; part < 3; part++) {
      root = Deeper(root, 100000);
      Sleep(0.1);
    }
    int depth = 0;
    Tree o = root;
    while (o) { depth++; o = o.left; }
    Test.Print("tree depth " + depth);
  }

  // Elements [from, to) of `all`, each holding the element after it
  // (`forward`) or the one before it.
  void Fill(Link[] all, int from, int to, bool forward) {
    int i;
    for (i = from; i < to; i++) all[i] = new Link();
    for (i = from; i < to; i++) {
      if (forward) {
        if (i + 1 < all.size()) all[i].next = all[i + 1];
      } else if (i > 0) {
        all[i].next = all[i - 1];
      }
    }
  }

  thread void Arrays() {
    Sleep(2.0);
    Link[] forward = new Link[200000];
    Link[] backward = new Link[200000];
    int part;
    for (part = 0; part < 200000; part = part + 100000) {
      Fill(forward, part, part + 100000, true);
      Sleep(0.1);
      Fill(backward, part, part + 100000, false);
      Sleep(0.1);
    }
    Test.Print("arrays " + forward.size() + " " + backward.size());
  }

  thread void ArrayChain() {
    Link head;
    Link o;
    int part;
    int i;
    Sleep(1.0);
    for (part = 0; part < 2; part++) {
      for (i = 0; i < 100000; i++) {
        o = new Link();
        o.rest = new Link[1];
        o.rest[0] = head;
        head = o;
      }
      Sleep(0.1);
    }
    Test.Print("array chain built");
  }

  void Run() {
    DeepTree();
    Arrays();
    ArrayChain();
  }
};
// pump: 10 0.1
// expect: tree depth 300000
// expect: array chain built
// expect: arrays 200000 200000
