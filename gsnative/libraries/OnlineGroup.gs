// OnlineGroup.gs: a group of online users, compiled into "OnlineGroup.gsl".
include "gs.gs"
include "Soup.gs"

class OnlineGroup isclass GameObject {
  public native void Connect();
  public native int GetStatus();
  public native void Disconnect();
  public native string GetOnlineGroupCookie();
  public native void AddUser(string name);
  public native void RemoveUser(string name);
  public native int CountUsers();
  public native string GetIndexedUser(int index);
  public native int FindUser(string name);
  public native int GetUserStatus(int index);
  public native int PostMessage(Soup message);
  public native int CollectMessage(string user, Soup message);
  public native void SetModeFlags(int set, int clear);
  public native void SetUserModeFlags(string name, int set, int clear);
  public native int GetUserModeFlags(string name);
};
