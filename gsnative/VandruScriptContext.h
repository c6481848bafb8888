// VandruScriptContext: the script context in which asset scripts run. Beside
// what every context does (GSRuntime::GSContext) it keeps the script
// libraries its scripts asked for, the queue of objects whose delayed
// initialisation is still to run (DelayedInitManager), and it is the object
// on which the "VandruScriptBase" natives run (VandruScriptBaseNatives.cpp,
// bound by RegisterVandruScriptBaseNatives). Nothing in the tool makes one;
// the script test host does (gsrun --context vandru).
//
// Overridable operations and what this context does:
//   SetSystemMenuIcon, BlinkSystemMenuIcon, ShowSystemMenuIconMenu  nothing
//                          (it is the libraries' SystemMenuIconHost)
//   AdmitsAsset(kuid)      true: every asset may have an object here
//   SystemCall(name, args) the null soup (the arguments are not used)
//   OpenURL(address)       false
//   OnLibraryAdded         nothing
//   GetParentContext       none
//
// GetScriptLibrary(kuid) -> the library, or null:
//   1. the null KUID: null, nothing logged;
//   2. no library spec for the KUID (GetSpecForKUID accepting only a
//      GSOLibrarySpec): logs "VandruScriptContext::GetScriptLibrary> unable
//      to find Library <kuid...>" and answers null;
//   3. a library of this context made from that very spec is answered, its
//      initialisation completed first;
//   4. a shared spec, with a parent context, is the parent's answer;
//   5. while the list is locked (LockLibraries): logs "...> attempted while
//      list is locked" and answers null;
//   6. the spec makes a new library (none: "...> unable to create instance
//      of Library <kuid...>", null), which joins the list; OnLibraryAdded;
//      CompleteInit;
//   7. a library whose initialisation failed leaves the list again and is
//      let go: "...> script failure on Library <kuid...>", null (so the next
//      call tries again).
// Messages go to the program log (LogMessage).
//
// Destruction, in order: the router is shut down (GSRouter::Done: the game
// objects left to it are deleted while the context is whole), the library
// list is emptied (its libraries destroyed), the native-interface objects
// are released (ReleaseVniContextObjects), the asset objects of this
// context are let go (GSOAsset::ReleaseContextObjects), the delayed-init
// queue lets go of its clients, then the base context tears down the rest.
//
// Not thread-safe: the thread that runs scripts only.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/base/IdentifiableType.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "foundation/vni/VandruNativeInterface.h"
#include "gsnative/DelayedInitManager.h"
#include "gsnative/SystemMenuIconHost.h"
#include "gsnative/WorldList.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSStack.h"
#include "kiv/PString.h"

class BrindlemoxSpec;
class GSOLibrary;

class VandruScriptContext : public GSRuntime::GSContext,
                            public DelayedInitManager,
                            public IdentifiableType,
                            public SystemMenuIconHost {
 public:
  VandruScriptContext() = default;
  ~VandruScriptContext() override;

  virtual bool AdmitsAsset(const KUID& /*kuid*/) { return true; }
  virtual Soup SystemCall(const Kiv::PString& /*name*/, const Soup& /*arguments*/) {
    return Soup();
  }
  virtual bool OpenURL(const Kiv::PString& /*address*/) { return false; }
  virtual void OnLibraryAdded(GSOLibrary* /*library*/) {}
  virtual VandruScriptContext* GetParentContext() { return nullptr; }

  GSOLibrary* GetScriptLibrary(const KUID& kuid);
  // While locked (a count), no library may join the list.
  void LockLibraries() { ++listLock_; }
  void UnlockLibraries() { --listLock_; }
  const WorldList& Libraries() const { return libraries_; }
  WorldList& Libraries() { return libraries_; }
  // The context's native-interface objects, which plug-ins are loaded
  // with (made on first use, released at destruction).
  VNIContext* VniObjects();

  // The "VandruScriptBase" natives (VandruScriptBaseNatives.cpp).
  void GetSeconds(GSRuntime::GSStack& stack);
  void GetNormalizedSystemTime(GSRuntime::GSStack& stack);
  void GetSystemYear(GSRuntime::GSStack& stack);
  void GetSystemMonth(GSRuntime::GSStack& stack);
  void GetSystemDate(GSRuntime::GSStack& stack);
  void GetSystemHour(GSRuntime::GSStack& stack);
  void GetSystemMinute(GSRuntime::GSStack& stack);
  void GetSystemSecond(GSRuntime::GSStack& stack);
  void GetLibrary(GSRuntime::GSStack& stack);
  void FindAsset(GSRuntime::GSStack& stack);
  void GetAssetList(GSRuntime::GSStack& stack);
  void GetAssetListWithCategories(GSRuntime::GSStack& stack);
  void SearchAssets(GSRuntime::GSStack& stack);
  void FindUpdatedAssets(GSRuntime::GSStack& stack);
  void VandruSystemCall(GSRuntime::GSStack& stack);
  void OpenURLNative(GSRuntime::GSStack& stack);
  void Log(GSRuntime::GSStack& stack);
  void GetVandruVersion(GSRuntime::GSStack& stack);
  void GetVandruBuild(GSRuntime::GSStack& stack);
  void CloneKUID(GSRuntime::GSStack& stack);

 private:
  // The library of this context made from `spec`, or null.
  GSOLibrary* FindLoaded(const BrindlemoxSpec* spec) const;

  int32_t listLock_ = 0;
  WorldList libraries_;
  std::unique_ptr<VNIContext> vniObjects_;
};

// The local time of day as GetNormalizedSystemTime gives it: midnight 0.5,
// noon 1.0, one second after noon about 0.0000116.
float NormalizedSystemTime(int hour, int minute, int second);

void RegisterVandruScriptBaseNatives(GSMachine& machine);
