// VandruGameObject.gs: the game object of an asset's script, compiled into
// "VandruGameObject.gsl".
include "gs.gs"
include "kuid.gs"
include "asset.gs"
include "SecurityToken.gs"

class VandruGameObject isclass GameObject {
  public native SecurityToken IssueSecurityToken(KUID target, string[] rights);
  public native SecurityToken IssueSecurityToken(SecurityToken token, KUID target, string[] rights);
  public native SecurityToken MergeSecurityTokens(SecurityToken[] tokens);
  public native bool Validate(SecurityToken token, VandruGameObject issuer, string right);
  public native bool Validate(SecurityToken token, KUID issuer, string right);
  public void Init(Asset asset) { }
};
