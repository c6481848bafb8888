// GSOOnlineAccess: the native side of the script class "OnlineAccess"
// (OnlineAccess.gsl): the online access of one script asset in one script
// context, a game object on the context's router. What it does is
// OnlineAccessObject's (gsnative/online/OnlineAccessObject.h) over the
// process's OnlineAccessProcess::Get(); this class checks the natives'
// arguments, drives the object from its node update and posts the object's
// events to itself as messages ("OnlineAccess" / "StatusChange" and
// "OnlineAccess" / "ReceiveMessage"), where the script's handlers hear them.
//
// GetOnlineAccess(kuid, context): the live object of `context` whose asset
// has the same user id and content id and which a script still holds, with
// one count added for the caller; else a new one (count 1 for the caller),
// registered with the context's router, its modified flag taken from the
// asset (IsAssetSpecLocallyModified). Null for the null KUID, without a
// router, or when the script class is not known.
//
// Update: the game object's update, then the online object's (post counter,
// endpoint, events); the object stays due for every update pass. An object
// that no script holds any more (its last count went while on a router) lets
// go of its online access at once, as its destruction would (the client
// leaves the endpoint, the message cache is saved, its groups close), and
// is not updated again, so it neither takes messages meant for a newer
// object of the same asset nor keeps its router busy.
//
// Natives (results 0 done, 1 not online, 4 limited, 6 nothing waiting):
//   Connect, Disconnect, GetStatus, GetUsername
//   GetLocalData(key, soup)   key non-null and non-empty; a locked soup
//                             stops the thread ("OnlineAccess.GetLocalData>
//                             soup is locked"); 0 when the daemon answered
//                             (the soup then holds a copy of the data), 1
//                             when it did not (the soup unchanged)
//   SetLocalData(key, soup)   0 when the request was sent, else 1
//   GetProfileData, SetProfileData   nothing; 0
//   PostMessage(user, soup)   4 over the post limit before anything is
//                             checked; else user non-null and non-empty
//   CollectMessage(user, soup) the oldest message: the string takes its
//                             sender, the soup its body; a locked soup stops
//                             the thread ("OnlineAccess.CollectMessage> soup
//                             is locked") before a message is taken
//   CreateGroup(mode), OpenGroup(cookie, mode)  a new group that connects at
//                             once (GSOOnlineGroup.h); cookie non-null and
//                             non-empty
//   PostOfflineMessage(soup), CollectOfflineMessage(soup) the out-box and
//                             in-box; CollectOfflineMessage refuses a locked
//                             soup ("OnlineAccess.CollectOfflineMessage> soup
//                             is locked")
// Soup arguments must be Soup objects ("null object at parameter %d",
// "incorrect parameter type at parameter %d").
//
// Not thread-safe: the thread that runs scripts.
#pragma once

#include <memory>

#include "foundation/text/KUID.h"
#include "gsnative/online/OnlineAccessObject.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSMachine.h"

class GSOOnlineAccess : public GSRuntime::GSGameObject, public OnlineAccessEvents {
 public:
  ~GSOOnlineAccess() override;

  // See above; the caller owns one count of the answer.
  static GSOOnlineAccess* Get(GSRuntime::GSContext* context, const KUID& kuid);

  // The online access; null once no script holds the object.
  OnlineAccessObject* Online() { return online_.get(); }
  const KUID& AssetKUID() const { return kuid_; }

  void Update(float elapsed) override;
  bool DeferRelease() override;
  void Post(const char* major, const char* minor) override;

  void Connect(GSRuntime::GSStack& stack);
  void GetStatus(GSRuntime::GSStack& stack);
  void Disconnect(GSRuntime::GSStack& stack);
  void GetUsername(GSRuntime::GSStack& stack);
  void GetLocalData(GSRuntime::GSStack& stack);
  void SetLocalData(GSRuntime::GSStack& stack);
  void GetProfileData(GSRuntime::GSStack& stack);
  void SetProfileData(GSRuntime::GSStack& stack);
  void PostMessage(GSRuntime::GSStack& stack);
  void CollectMessage(GSRuntime::GSStack& stack);
  void CreateGroup(GSRuntime::GSStack& stack);
  void OpenGroup(GSRuntime::GSStack& stack);
  void PostOfflineMessage(GSRuntime::GSStack& stack);
  void CollectOfflineMessage(GSRuntime::GSStack& stack);

 private:
  GSOOnlineAccess(const KUID& kuid, bool modified);
  bool Held() const;
  void PushGroup(GSRuntime::GSStack& stack, const Kiv::PString& cookie, int32_t mode);

  KUID kuid_;
  std::unique_ptr<OnlineAccessObject> online_;
};

GSOOnlineAccess* GetOnlineAccess(const KUID& kuid, GSRuntime::GSContext* context);

// The 14 natives of "OnlineAccess"; the first call also loads what the
// process's online access keeps on disk (OnlineAccessProcess::Register).
void RegisterOnlineAccessNatives(GSMachine& machine);

extern GSRuntime::GSClass* gOnlineAccessScriptClass;
