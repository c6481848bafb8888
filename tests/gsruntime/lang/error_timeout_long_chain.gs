// A loop that links objects into a chain until the budget stops it: the
// run ends in ER_Timeout, and the chain of some 300,000 objects that the
// stopped frame held is released after it.
include "test.gs"

class Node { public Node next; };

class Main {
  void Run() {
    Node head;
    Node o;
    int i;
    for (i = 0;; i++) {
      o = new Node(); o.next = head; head = o;
    }
  }
};
// expect runtime error: Thread Exception: ER_Timeout, line 14, file error_timeout_long_chain.gs
