// OnlineAccess.gs: the online-access service of a script, compiled into
// "OnlineAccess.gsl".
include "gs.gs"
include "Soup.gs"
include "OnlineGroup.gs"

class OnlineAccess isclass GameObject {
  public native void Connect();
  public native int GetStatus();
  public native void Disconnect();
  public native string GetUsername();
  public native int GetLocalData(string key, Soup data);
  public native int SetLocalData(string key, Soup data);
  public native int GetProfileData(string key, Soup data);
  public native int SetProfileData(string key, Soup data);
  public native int PostMessage(string user, Soup message);
  public native int CollectMessage(string user, Soup message);
  public native OnlineGroup CreateGroup(int mode);
  public native OnlineGroup OpenGroup(string cookie, int mode);
  public native int PostOfflineMessage(Soup message);
  public native int CollectOfflineMessage(Soup message);
};
