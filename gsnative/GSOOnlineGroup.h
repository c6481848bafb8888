// GSOOnlineGroup: the native side of the script class "OnlineGroup"
// (OnlineGroup.gsl): one online group of an online object (its owner), a
// game object on the context's router. The group's state and its traffic
// are OnlineGroupState's (gsnative/online/OnlineGroupState.h); this class
// checks the natives' arguments, keeps the owner alive while the group has
// one, and posts the state's events to itself as messages (major
// "OnlineGroup.UserAdded", "OnlineGroup.UserRemoved" or
// "OnlineGroup.UserStatus" with the member's name as minor; "OnlineGroup" /
// "UsersChange", "StatusChange" and "ReceiveMessage").
//
// Create(owner, cookie, mode): a group of `owner` (an empty cookie: a new
// group the service names) that starts connecting at once; the caller owns
// its one count. Null when the script class is not known.
//
// The owner: the group holds one count of the owner's script instance while
// the state has an owner. Once the state has none (the service closed the
// group, or the owner's client left the endpoint), the count goes at the
// group's next update or native call, never from inside the endpoint's
// dispatch. A group that no script holds any more leaves the service at once
// (leave-group, then closed) and is not updated again.
//
// Natives: "with an owner" natives do nothing without one, and only then
// check their name argument (non-null, non-empty). PostMessage: a Soup
// object argument; 1 without an owner, 4 when the owner's post counter is
// over its limit, else the endpoint's result, the owner's counter growing by
// one whatever it is. CollectMessage refuses a locked soup
// ("OnlineGroup.CollectMessage> soup is locked") before a message is taken.
// GetIndexedUser of an index outside the list gives null; GetUserStatus and
// GetUserModeFlags of a missing member give 0; FindUser takes null and
// empty names (-1).
//
// Not thread-safe: the thread that runs scripts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gsnative/online/OnlineGroupState.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSMachine.h"
#include "kiv/PString.h"

class GSOOnlineAccess;

class GSOOnlineGroup : public GSRuntime::GSGameObject, public OnlineGroupEvents {
 public:
  ~GSOOnlineGroup() override;

  static GSOOnlineGroup* Create(GSOOnlineAccess& owner, const Kiv::PString& cookie,
                                uint32_t mode);

  // The group's state; null once no script holds the group.
  const OnlineGroupState* State() const { return state_.get(); }

  void Update(float elapsed) override;
  bool DeferRelease() override;
  void DropScriptState() override;
  void Post(const char* major, const std::string& minor) override;

  void Connect(GSRuntime::GSStack& stack);
  void GetStatus(GSRuntime::GSStack& stack);
  void Disconnect(GSRuntime::GSStack& stack);
  void GetOnlineGroupCookie(GSRuntime::GSStack& stack);
  void AddUser(GSRuntime::GSStack& stack);
  void RemoveUser(GSRuntime::GSStack& stack);
  void CountUsers(GSRuntime::GSStack& stack);
  void GetIndexedUser(GSRuntime::GSStack& stack);
  void FindUser(GSRuntime::GSStack& stack);
  void GetUserStatus(GSRuntime::GSStack& stack);
  void PostMessage(GSRuntime::GSStack& stack);
  void CollectMessage(GSRuntime::GSStack& stack);
  void SetModeFlags(GSRuntime::GSStack& stack);
  void SetUserModeFlags(GSRuntime::GSStack& stack);
  void GetUserModeFlags(GSRuntime::GSStack& stack);

 private:
  GSOOnlineGroup() = default;
  // Drops the owner's count once the state has no owner; true while it has.
  bool HasOwner();
  void ReleaseOwner();
  // The member at the index argument, or null.
  const OnlineGroupState::Member* IndexedMember(const GSRuntime::GSStack& stack) const;

  // The owner and the count held on its instance; the instance is kept
  // apart, so that the count goes right even when the owner itself was
  // deleted first (a router's shutdown deletes objects a destroy request
  // marked, whatever their counts).
  GSOOnlineAccess* owner_ = nullptr;
  GSRuntime::GSValue ownerInstance_ = 0;
  std::unique_ptr<OnlineGroupState> state_;
};

// The 15 natives of "OnlineGroup".
void RegisterOnlineGroupNatives(GSMachine& machine);

extern GSRuntime::GSClass* gOnlineGroupScriptClass;
