// Message objects handed to handlers: each message reads its own types and
// source, whether the script keeps an earlier Message object, keeps or
// changes its type texts, or lets it go.
include "test.gs"
include "gs.gs"

class Listener isclass GameObject {
  Message kept;
  string keptMajor;
  int seen = 0;
  void OnMessage(Message msg) {
    string minor = "null";
    if (msg.minor) minor = msg.minor;
    string src = "null";
    if (msg.src) src = "" + msg.src.GetId();
    if (seen < 6 or seen == 105) Test.Print(seen + " " + msg.major + " " + minor + " from " + src);
    if (seen == 0) kept = msg;
    if (seen == 1) keptMajor = msg.major;
    if (seen == 2) {
      keptMajor[0] = 'Y';
      Test.Print("2 now " + msg.major);
    }
    if (seen == 3) {
      string major = msg.major;
      major[0] = 'X';
      msg.minor = "changed";
    }
    if (seen == 105) Test.Print("kept " + kept.major + " " + kept.minor + " " + keptMajor);
    seen++;
  }
};

class Main isclass GameObject {
  Listener a;
  void Run() {
    a = new Listener();
    a.AddHandler(a, "Ev", "", "OnMessage");
    a.AddHandler(a, "Other", "", "OnMessage");
    PostMessage(a, "Ev", "one", 0.0);
    PostMessage(a, "Ev", "two", 0.0);
    PostMessage(a, "Ev", "three", 0.0);
    PostMessage(a, "Ev", "four", 0.0);
    PostMessage(a, "Other", "", 0.0);
    Router.PostMessage(0, a.GetId(), "Ev", "five", 0.0);
    int i;
    for (i = 0; i < 100; i++) PostMessage(a, "Other", "many", 0.0);
  }
};
// pump: 1 0.1
// expect: 0 Ev one from 1
// expect: 1 Ev two from 1
// expect: 2 Ev three from 1
// expect: 2 now Ev
// expect: 3 Ev four from 1
// expect: 4 Other null from 1
// expect: 5 Ev five from null
// expect: 105 Other many from 1
// expect: kept Ev one Yv
