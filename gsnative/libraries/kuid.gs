// kuid.gs: the asset identity, compiled into "kuid.gsl".
include "gs.gs"

class KUID isclass GSObject {
  public native string GetName();
  public native string GetHTMLString();
  public native string GetLogString();
  public native string GetBaseString();
  public native KUID GetBaseKUID();
};
