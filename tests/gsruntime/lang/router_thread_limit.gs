// A game object runs at most 64 threads: starting the 65th stops the
// caller with ER_ThreadError, and the 64 are torn down with the context.
include "test.gs"
include "gs.gs"

class Main isclass GameObject {
  thread void Idle() {
    wait() {
      on "Never", "":;
    }
  }
  void Run() {
    int i;
    for (i = 1; i <= 64; i++) Idle();
    Test.Print("64 started");
    Idle();
    Test.Print("not reached");
  }
};
// expect: 64 started
// expect runtime error: Thread Exception: ER_ThreadError, line 16
