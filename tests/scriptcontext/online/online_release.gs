// An online object that the script lets go of while the service is online
// leaves the service at once: a newer object of the same asset gets the
// messages for the asset.
// server: --echo
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"
include "testonline.gs"

class Main isclass GameObject {
  OnlineAccess keeper, second;
  bool connected = false;

  KUID Id(string text) {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", text);
    return ids.GetNamedTagAsKUID("k");
  }
  void OnKeeper(Message msg) {
    if (keeper == null) return;
    if (keeper.GetStatus() == 1 and !connected) {
      connected = true;
      keeper.Connect();
    } else if (keeper.GetStatus() == 7) {
      OnlineAccess first = TestOnline.GetOnlineAccess(Id("<kuid:1:100>"));
      first.Connect();
      first = null;
      PostMessage(me, "Test", "Again", 0.0);
    }
  }
  void OnAgain(Message msg) {
    second = TestOnline.GetOnlineAccess(Id("<kuid:1:100>"));
    AddHandler(second, "OnlineAccess", "ReceiveMessage", "OnMessage");
    second.Connect();
    Soup body = ConstructorsBase.NewSoup();
    body.SetNamedTag("text", "ping");
    Test.Print("posts " + second.PostMessage("bob", body));
  }
  void OnMessage(Message msg) {
    string user = "";
    Soup body = ConstructorsBase.NewSoup();
    int result = second.CollectMessage(user, body);
    Test.Print("collect " + result + " " + body.GetNamedTag("text"));
    keeper.Disconnect();
    second.Disconnect();
    keeper = null;
    second = null;
  }
  void Run() {
    keeper = TestOnline.GetOnlineAccess(Id("<kuid:1:101>"));
    AddHandler(keeper, "OnlineAccess", "StatusChange", "OnKeeper");
    AddHandler(me, "Test", "Again", "OnAgain");
  }
};
// expect: posts 0
// expect: collect 0 ping
// expect server count: message 1 100 0 bob 0 1
