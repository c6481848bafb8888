// A thread that is woken and then flooded before it runs again: the
// 1,025th queued message prints the whole overflow report, the queue is
// dropped and the thread runs on.
include "test.gs"
include "gs.gs"

class Main isclass GameObject {
  thread void Worker() {
    Message msg;
    wait() {
      on "Q", "", msg: Test.Print("worker woke by " + msg.minor);
    }
    Test.Print("worker runs on");
    wait() {
      on "Q", "", msg: Test.Print("worker then got " + msg.minor);
    }
  }
  thread void Flooder() {
    int i;
    for (i = 1; i <= 1026; i++) SendMessage(me, "Q", "" + i);
    Sleep(0.5);
    SendMessage(me, "Q", "later");
  }
  void Run() {
    Worker();
    Flooder();
  }
};
// pump: 2 0.1
// expect: worker woke by 1
// expect: worker runs on
// expect: worker then got later
// expect stderr: Message Queue Overflow for node 1 (discarded message follows)
// expect stderr: router message from 0001 '' to 0001 '', message Q, 1026
// expect stderr:  thread state is 0
// expect stderr:  messages already in queue follow:
// expect stderr: router message from 0001 '' to 0001 '', message Q, 2
// expect stderr: router message from 0001 '' to 0001 '', message Q, 1025
