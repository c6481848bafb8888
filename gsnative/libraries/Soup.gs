// Soup.gs: a configuration tree, compiled into "Soup.gsl".
include "gs.gs"
include "kuid.gs"

class Soup isclass GSObject {
  public native int CountTags();
  public native string GetNamedTag(string name);
  public native Soup GetNamedSoup(string name);
  public native Soup GetNamedSoupAdd(string name);
  public native string GetIndexedTagName(int index);
  public native int GetIndexForNamedTag(string name);
  public native KUID GetNamedTagAsKUID(string name);
  public native int GetNamedTagAsInt(string name);
  public native int GetNamedTagAsInt(string name, int otherwise);
  public native float GetNamedTagAsFloat(string name);
  public native float GetNamedTagAsFloat(string name, float otherwise);
  public native void SetNamedTag(string name, string value);
  public native void SetNamedTag(string name, float value);
  public native void SetNamedTag(string name, int value);
  public native void SetNamedTag(string name, KUID value);
  public native void SetNamedSoup(string name, Soup value);
  public native void RemoveNamedTag(string name);
  public native void Copy(Soup source);
  public native void Clear();
  public native bool IsLocked();
  public native Soup GetLockedReference();
  public native void AddUniqueNamedSoup(Soup value);
  public native void Log();
};
