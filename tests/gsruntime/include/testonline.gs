// Test natives of the online access, for scripts that run in the script
// context with the standard libraries. Not one of the standard libraries.
include "kuid.gs"
include "OnlineAccess.gs"

static class TestOnline {
  // The context's online object of the asset, as the asset's library would
  // get it.
  public native OnlineAccess GetOnlineAccess(KUID kuid);
};
