// asset.gs: one installed asset, compiled into "asset.gsl".
include "gs.gs"
include "kuid.gs"
include "Soup.gs"
include "KUIDList.gs"
include "StringTable.gs"
include "Image.gs"

class Asset isclass GSObject {
  public native KUID GetKUID();
  public native string GetLocalisedName();
  public native string GetLocalisedDescription();
  public native string GetCreatorName();
  public native KUID LookupKUIDTable(string key);
  public native Asset FindAsset(string key);
  public native StringTable GetStringTable();
  public native Soup GetConfigSoup();
  public native KUIDList GetDependencyList();
  public native bool SupportsVandruBuildVersion(float build);
  public native Image LoadImage(string name);
  public native bool IsLocallyModified();
  public native string GetInfoURL();
  public native bool GetIsFavorite();
  public native void SetIsFavorite(bool favorite);
  public native Asset GetParent();
  public native string GetCategoryEra();
  public native string GetCategoryRegion();
  public native Soup GetSessionRuleData(string name);
  public native bool IsBuiltIn();
  public native bool IsOnTheFetchery();
};
