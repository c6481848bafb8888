// Messages that match a thread's wait while it is runnable are queued and
// handed to its next waits, each once and in the order they came; a queued
// message that the next wait does not take is dropped; a wait with nothing
// left blocks until a later message comes, and the last one never ends.
include "test.gs"
include "gs.gs"

class Main isclass GameObject {
  thread void TwoQueued() {
    Message msg;
    int i;
    for (i = 1; i <= 3; i++) {
      wait() {
        on "Two", "", msg: Test.Print("two: wait " + i + " got " + msg.minor);
      }
    }
    wait() {
      on "Two", "", msg: Test.Print("two: the last wait got " + msg.minor);
    }
    Test.Print("two: not reached");
  }
  thread void ThreeQueued() {
    Message msg;
    wait() {
      on "Three", "", msg: Test.Print("three: first wait got " + msg.minor);
      on "Other", "", msg: Test.Print("three: first wait got other " + msg.minor);
    }
    wait() {
      on "Three", "", msg: Test.Print("three: second wait got " + msg.minor);
    }
    wait() {
      on "Three", "", msg: Test.Print("three: third wait got " + msg.minor);
      on "Other", "", msg: Test.Print("three: third wait got other " + msg.minor);
    }
    wait() {
      on "Three", "", msg: Test.Print("three: fourth wait got " + msg.minor);
      on "Other", "", msg: Test.Print("three: fourth wait got other " + msg.minor);
    }
    wait() {
      on "Three", "", msg: Test.Print("three: the last wait got " + msg.minor);
    }
    Test.Print("three: not reached");
  }
  thread void Sender() {
    SendMessage(me, "Two", "first");
    SendMessage(me, "Two", "second");
    Sleep(0.5);
    SendMessage(me, "Two", "late");
    Sleep(0.5);
    SendMessage(me, "Three", "A");
    SendMessage(me, "Other", "dropped");
    SendMessage(me, "Three", "B");
    SendMessage(me, "Three", "C");
    Sleep(0.5);
    SendMessage(me, "Other", "late");
  }
  void Run() {
    TwoQueued();
    ThreeQueued();
    Sender();
  }
};
// pump: 3 0.1
// expect: two: wait 1 got first
// expect: two: wait 2 got second
// expect: two: wait 3 got late
// expect: three: first wait got A
// expect: three: second wait got B
// expect: three: third wait got C
// expect: three: fourth wait got other late
