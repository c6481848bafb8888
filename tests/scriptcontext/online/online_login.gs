// A login printed by the script's handlers: the status is 0 before the
// first update and 1 after it; Connect leads through 6 to 7; a message
// echoed by the service is collected; Disconnect reports 1 again.
// server: --echo
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"
include "testonline.gs"

class Main isclass GameObject {
  OnlineAccess online;
  bool connected = false;

  KUID Id(string text) {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", text);
    return ids.GetNamedTagAsKUID("k");
  }
  void OnStatus(Message msg) {
    int status = online.GetStatus();
    Test.Print("status " + status);
    if (status == 1 and !connected) {
      connected = true;
      online.Connect();
    } else if (status == 7) {
      Soup body = ConstructorsBase.NewSoup();
      body.SetNamedTag("text", "ping");
      Test.Print(online.GetUsername() + " posts " + online.PostMessage("bob", body));
    } else if (status == 1) {
      online = null;
      PostMessage(me, "Test", "Again", 0.0);
    }
  }
  void OnMessage(Message msg) {
    string user = "";
    Soup body = ConstructorsBase.NewSoup();
    int result = online.CollectMessage(user, body);
    Test.Print("collect " + result + " " + user + " " + body.GetNamedTag("text"));
    Test.Print("collect " + online.CollectMessage(user, body));
    online.Disconnect();
  }
  void OnAgain(Message msg) {
    // Once let go (the message that held it gone too), the object is not
    // handed out again.
    Test.Print("again " + TestOnline.GetOnlineAccess(Id("<kuid:1:100>")).GetStatus());
  }
  void Run() {
    AddHandler(me, "Test", "Again", "OnAgain");
    online = TestOnline.GetOnlineAccess(Id("<kuid:1:100>"));
    Test.Print("status " + online.GetStatus());
    AddHandler(online, "OnlineAccess", "StatusChange", "OnStatus");
    AddHandler(online, "OnlineAccess", "ReceiveMessage", "OnMessage");
  }
};
// expect: status 0
// expect: status 1
// expect: status 6
// expect: status 7
// expect: alice posts 0
// expect: collect 0 bob ping
// expect: collect 6
// expect: status 1
// expect: again 0
// expect server count: credential secret 1
// expect server count: message 1 100 0 bob 0 1
