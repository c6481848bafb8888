// SecurityToken.gs: rights granted by one game object to assets, compiled
// into "SecurityToken.gsl".
include "gs.gs"

class SecurityToken isclass GSObject {
  public native bool IsOwnerLocallyModified();
};
