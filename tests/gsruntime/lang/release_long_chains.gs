// A chain of 1,000,000 objects, built a quarter per run of a thread, is
// released when the local that holds it goes out of scope; chains of
// 250,000 when the member that holds one is cleared, and with the context
// when a static object holds one: however long the chain, its release
// ends.
include "test.gs"
include "gs.gs"

class Node { public Node next; };

static class Kept {
  public Node head;
};

class Main isclass GameObject {
  Node member;
  int built = 0;

  // `head` with `count` (a multiple of 10) nodes more in front of it.
  Node Grow(Node head, int count) {
    Node o;
    int i;
    for (i = 0; i < count; i = i + 10) {
      o = new Node(); o.next = head; head = o;
      o = new Node(); o.next = head; head = o;
      o = new Node(); o.next = head; head = o;
      o = new Node(); o.next = head; head = o;
      o = new Node(); o.next = head; head = o;
      o = new Node(); o.next = head; head = o;
      o = new Node(); o.next = head; head = o;
      o = new Node(); o.next = head; head = o;
      o = new Node(); o.next = head; head = o;
      o = new Node(); o.next = head; head = o;
    }
    built = built + count;
    return head;
  }

  // A chain of `parts` times 250,000 nodes, a part per run.
  Node Chain(int parts) {
    Node head;
    int part;
    built = 0;
    for (part = 0; part < parts; part++) {
      head = Grow(head, 250000);
      Sleep(0.1);
    }
    Test.Print("built " + built);
    return head;
  }

  thread void Build() {
    member = Chain(1);
    member = null;
    Test.Print("member released");
    Node local = Chain(4);
    Sleep(0.1);
    Test.Print("local goes out of scope");
  }

  thread void Keep() {
    Sleep(5.0);
    Kept.head = Chain(1);
    Test.Print("kept for the teardown");
  }

  void Run() {
    Build();
    Keep();
  }
};
// pump: 10 0.1
// expect: built 250000
// expect: member released
// expect: built 1000000
// expect: local goes out of scope
// expect: built 250000
// expect: kept for the teardown
