// Posted messages: delayed ones arrive in due order, one under a
// millisecond goes to the posted queue, cleared ones never arrive; the
// router's report.
include "test.gs"
include "gs.gs"

class Main isclass GameObject {
  void OnDelay(Message msg) { Test.Print("arrived " + msg.minor + " from " + msg.src.GetId()); }
  void Run() {
    AddHandler(me, "Delay", "", "OnDelay");
    PostMessage(me, "Delay", "0.3", 0.3);
    PostMessage(me, "Delay", "0.1", 0.1);
    PostMessage(me, "Delay", "0.2", 0.2);
    PostMessage(me, "Delay", "0.2 again", 0.2);
    PostMessage(me, "Delay", "gone", 0.15);
    PostMessage(me, "Delay", "negative", -5.0);
    PostMessage(me, "Delay", "now", 0.0004);
    Router.PostMessage(GetId(), GetId(), "Delay", "router", 0.25);
    ClearMessages("Delay", "gone");
    Router.Info();
  }
};
// pump: 1 0.1
// expect: arrived negative from 1
// expect: arrived now from 1
// expect: arrived 0.1 from 1
// expect: arrived 0.2 from 1
// expect: arrived 0.2 again from 1
// expect: arrived router from 1
// expect: arrived 0.3 from 1
// expect stderr: 1 queued router messages cleared for 0001 '', message Delay, gone
// expect stderr: ROUTER INFO
// expect stderr: ===========
// expect stderr: 1 Node(s)
// expect stderr: 5 Message(s) in the delay queue
// expect stderr: 109 Major types
// expect stderr: 2 Posted messages
// expect stderr: 1 Subscription AVL trees
