// Library.gs: the shared object of a script-library asset and the
// properties it saves, compiled into "Library.gsl".
include "gs.gs"
include "Soup.gs"
include "asset.gs"
include "OnlineAccess.gs"
include "VandruGameObject.gs"

// The properties the program hands to a script object and takes back.
class PropertyObject {
  public void SetProperties(Soup soup) {
  }

  public Soup GetProperties() {
    return null;
  }
};

class Library isclass VandruGameObject, PropertyObject {
  public native string LibraryCallNative(string function, string[] stringParams,
                                         GSObject[] objectParams);
  public native void AddSystemMenuIcon(Asset icon, string tooltip, string message);
  public native void AddSystemMenuIcon(Asset icon, string tooltip, string message, bool flag);
  public native void RemoveSystemMenuIcon();
  public native void BlinkSystemMenuIcon(int count);
  public native void ShowSystemMenuIconMenu(Menu menu);
  public native OnlineAccess GetOnlineAccess();
};
