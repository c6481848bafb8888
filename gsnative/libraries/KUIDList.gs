// KUIDList.gs: an ordered list of asset identities, compiled into
// "KUIDList.gsl".
include "gs.gs"
include "kuid.gs"

class KUIDList isclass GSObject {
  public native int CountKUIDs();
  public native void AddKUID(KUID kuid);
  public native void RemoveKUID(KUID kuid);
  public native bool HasKUID(KUID kuid);
  public native KUID GetIndexedKUID(int index);
  public native void Copy(KUIDList source);
  public native void Clear();
  public native bool IsLocked();
};
