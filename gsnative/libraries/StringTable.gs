// StringTable.gs: an asset's texts with numbered parameters, compiled into
// "StringTable.gsl".
include "gs.gs"

class StringTable isclass GSObject {
  public native string GetLanguage();
  public native void ClearParams();
  public native void SetParam(int index, string value);
  public native string GetString(string key);
};
