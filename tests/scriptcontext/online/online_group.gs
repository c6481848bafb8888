// Group events heard by the script: a created group opens with the
// service's two members (one UserAdded each, then one UsersChange); adding
// a member again in another letter case sends nothing; the owner's
// Disconnect closes the group.
// server: --members alice,Bob
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"
include "testonline.gs"

class Main isclass GameObject {
  OnlineAccess online;
  OnlineGroup group;
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
      group = online.CreateGroup(3);
      AddHandler(group, "OnlineGroup.UserAdded", "", "OnAdded");
      AddHandler(group, "OnlineGroup", "UsersChange", "OnUsers");
      AddHandler(group, "OnlineGroup", "StatusChange", "OnGroupStatus");
      Test.Print("group " + group.GetStatus() + " '" + group.GetOnlineGroupCookie() + "'");
    } else if (status == 1) {
      online = null;
      group = null;
    }
  }
  void OnAdded(Message msg) {
    Test.Print("added " + msg.minor);
  }
  void OnUsers(Message msg) {
    group.AddUser("BOB");
    Test.Print("users " + group.CountUsers() + " " + group.GetIndexedUser(1) + " " + group.FindUser("bob") + " " + group.GetUserStatus(0));
    online.Disconnect();
  }
  void OnGroupStatus(Message msg) {
    Test.Print("group " + group.GetStatus() + " '" + group.GetOnlineGroupCookie() + "'");
  }
  void Run() {
    online = TestOnline.GetOnlineAccess(Id("<kuid:1:100>"));
    AddHandler(online, "OnlineAccess", "StatusChange", "OnStatus");
  }
};
// expect: status 1
// expect: status 6
// expect: status 7
// expect: group 1 ''
// expect: group 2 'group-1'
// expect: added alice
// expect: added Bob
// expect: users 2 Bob 1 1
// expect: group 3 ''
// expect: status 1
// expect server count: group-create 1 3 1
// expect server count: group-user 0
