// A locked soup is never written by the online natives.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"
include "testonline.gs"

class Main isclass GameObject {
  void Run() {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", "<kuid:1:100>");
    OnlineAccess online = TestOnline.GetOnlineAccess(ids.GetNamedTagAsKUID("k"));
    online.CollectOfflineMessage(ids.GetLockedReference());
  }
};
// expect runtime error: OnlineAccess.CollectOfflineMessage> soup is locked
