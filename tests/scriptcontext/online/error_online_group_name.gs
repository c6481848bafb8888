// A group's member names are checked while it has an owner.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"
include "testonline.gs"

class Main isclass GameObject {
  void Run() {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", "<kuid:1:100>");
    OnlineAccess online = TestOnline.GetOnlineAccess(ids.GetNamedTagAsKUID("k"));
    OnlineGroup group = online.OpenGroup("g", 0);
    group.AddUser("");
  }
};
// expect runtime error: empty string at parameter 1
