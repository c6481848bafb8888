// Vandru.gs: the game-wide functions of every asset script, compiled into
// "Vandru.gsl". Asset scripts include it first.
include "gs.gs"
include "kuid.gs"
include "Soup.gs"
include "asset.gs"
include "Library.gs"

static class VandruScriptBase {
  public native float GetSeconds();
  public native float GetNormalizedSystemTime();
  public native int GetSystemYear();
  public native int GetSystemMonth();
  public native int GetSystemDate();
  public native int GetSystemHour();
  public native int GetSystemMinute();
  public native int GetSystemSecond();
  public native Library GetLibrary(KUID kuid);
  public native Asset FindAsset(KUID kuid);
  public native Asset[] GetAssetList(string kind);
  public native Asset[] GetAssetList(string kind, string categories);
  public native KUID[] SearchAssets(string categories, bool localOnly);
  public native Asset[] FindUpdatedAssets();
  public native Soup VandruSystemCall(string command, Soup parameters);
  public native bool OpenURL(string url);
  public native void Log(string text);
  public native float GetVandruVersion();
  public native int GetVandruBuild();
  public native KUID CloneKUID(KUID kuid);
};
