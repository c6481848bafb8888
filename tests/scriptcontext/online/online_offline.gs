// Without a connection: one object per asset in the context (another
// version is the same object), the post counter shared by the object and
// its group (61 posts go on, the 62nd answers 4 at once), the results of
// collecting with nothing there, the out-box, and the asset's data kept by
// the daemon under a lower-cased key.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"
include "testonline.gs"

class Main isclass GameObject {
  KUID Id(string text) {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", text);
    return ids.GetNamedTagAsKUID("k");
  }
  void Run() {
    OnlineAccess online = TestOnline.GetOnlineAccess(Id("<kuid:1:100>"));
    Test.Print((online == TestOnline.GetOnlineAccess(Id("<kuid2:1:100:3>"))) + " " + (online == TestOnline.GetOnlineAccess(Id("<kuid:1:101>"))));
    Soup body = ConstructorsBase.NewSoup();
    OnlineGroup group = online.CreateGroup(0);
    Test.Print("group " + group.GetStatus() + " post " + group.PostMessage(body));
    string results = "";
    int i;
    for (i = 0; i < 61; i++) results = results + online.PostMessage("bob", body);
    Test.Print(results);
    Test.Print("group post " + group.PostMessage(body));
    string user = "none";
    Test.Print("collect " + online.CollectMessage(user, body) + " " + group.CollectMessage(user, body) + " " + user);
    Test.Print("offline " + online.PostOfflineMessage(body) + " " + online.CollectOfflineMessage(body));
    Test.Print("profile " + online.GetProfileData("a", body) + " " + online.SetProfileData("a", body));
    Soup data = ConstructorsBase.NewSoup();
    data.SetNamedTag("score", 42);
    Soup got = ConstructorsBase.NewSoup();
    Test.Print("local " + online.SetLocalData("High", data) + " " + online.GetLocalData("HIGH", got) + " " + got.GetNamedTagAsInt("score"));
  }
};
// expect: true false
// expect: group 1 post 1
// expect: 1111111111111111111111111111111111111111111111111111111111114
// expect: group post 4
// expect: collect 1 1 none
// expect: offline 0 6
// expect: profile 0 0
// expect: local 0 0 42
