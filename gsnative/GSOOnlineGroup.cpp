#include "gsnative/GSOOnlineGroup.h"

#include <new>
#include <utility>

#include "gsnative/GSOOnlineAccess.h"
#include "gsnative/OnlineNativeArgs.h"
#include "gsnative/StringParams.h"
#include "gsnative/online/OnlineAccessProcess.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSRouter.h"

GSRuntime::GSClass* gOnlineGroupScriptClass = nullptr;

using namespace GSRuntime;
using namespace OnlineNatives;


GSOOnlineGroup::~GSOOnlineGroup() {
  state_.reset();
  ReleaseOwner();
}

GSOOnlineGroup* GSOOnlineGroup::Create(GSOOnlineAccess& owner, const Kiv::PString& cookie,
                                       uint32_t mode) {
  OnlineAccessObject* online = owner.Online();
  if (online == nullptr || owner.Router() == nullptr) return nullptr;
  auto* group = new (std::nothrow) GSOOnlineGroup;
  if (group == nullptr) return nullptr;
  group->state_ = std::make_unique<OnlineGroupState>(online->Process().Endpoint(), online, cookie,
                                                     mode, group);
  if (!group->AttachScriptInstance(gOnlineGroupScriptClass, owner.Context())) {
    delete group;
    return nullptr;
  }
  // Taken once the instance is attached: attaching drops the script state,
  // and with it an owner's count.
  group->ownerInstance_ = owner.GetScriptInstance();
  GSObjectReference::AddRef(group->ownerInstance_);
  group->owner_ = &owner;
  owner.Router()->AddNode(group);
  group->state_->Connect();
  return group;
}

void GSOOnlineGroup::ReleaseOwner() {
  owner_ = nullptr;
  GSObjectReference::Release(std::exchange(ownerInstance_, 0));
}

bool GSOOnlineGroup::HasOwner() {
  if (state_ != nullptr && state_->HasOwner()) return true;
  ReleaseOwner();
  return false;
}

void GSOOnlineGroup::Update(float elapsed) {
  GSGameObject::Update(elapsed);
  if (state_ == nullptr) return;
  HasOwner();
  if (state_->TakeMessageArrived()) Post("OnlineGroup", "ReceiveMessage");
  scheduled = true;
  if (Router() != nullptr) Router()->Schedule(this);
}

bool GSOOnlineGroup::DeferRelease() {
  if (!GSGameObject::DeferRelease()) return false;
  state_.reset();
  ReleaseOwner();
  return true;
}

void GSOOnlineGroup::DropScriptState() {
  GSGameObject::DropScriptState();
  ReleaseOwner();  // every instance is pinned: the owner stays until the free pass
}

void GSOOnlineGroup::Post(const char* major, const std::string& minor) {
  const GSMessageRef message = GSNode::PostMessage(major, minor.c_str(), Id(), 0);
  if (message && Router() != nullptr) Router()->Post(message);
}

void GSOOnlineGroup::Connect(GSStack&) {
  if (HasOwner()) state_->Connect();
}

void GSOOnlineGroup::GetStatus(GSStack& stack) {
  const uint32_t status = state_ != nullptr ? state_->GetStatus() : OnlineGroupState::kClosed;
  stack.Push(GSFromInt(static_cast<int32_t>(status)));
}

void GSOOnlineGroup::Disconnect(GSStack&) {
  if (HasOwner()) state_->Disconnect();
}

void GSOOnlineGroup::GetOnlineGroupCookie(GSStack& stack) {
  const bool open = state_ != nullptr && state_->GetStatus() == OnlineGroupState::kOpen;
  PushText(stack, open ? state_->GetCookie().View() : std::string_view());
}

void GSOOnlineGroup::AddUser(GSStack& stack) {
  std::string name;
  if (HasOwner() && NameArg(stack, 1, name)) state_->AddUser(name);
}

void GSOOnlineGroup::RemoveUser(GSStack& stack) {
  std::string name;
  if (HasOwner() && NameArg(stack, 1, name)) state_->RemoveUser(name);
}

void GSOOnlineGroup::CountUsers(GSStack& stack) {
  const size_t count = state_ != nullptr ? state_->Members().size() : 0;
  stack.Push(GSFromInt(static_cast<int32_t>(count)));
}

const OnlineGroupState::Member* GSOOnlineGroup::IndexedMember(const GSStack& stack) const {
  const int32_t index = GSInt(GSNativeArg(stack, 1));
  if (state_ == nullptr || index < 0 || static_cast<size_t>(index) >= state_->Members().size())
    return nullptr;
  return &state_->Members()[static_cast<size_t>(index)];
}

void GSOOnlineGroup::GetIndexedUser(GSStack& stack) {
  const OnlineGroupState::Member* member = IndexedMember(stack);
  if (member == nullptr) {
    stack.Push(0);
    return;
  }
  PushText(stack, member->name);
}

void GSOOnlineGroup::FindUser(GSStack& stack) {
  Kiv::PString name;
  CheckStringParam(stack, 1, name, true);
  const int index = state_ != nullptr ? state_->FindUser(name.Str()) : -1;
  stack.Push(GSFromInt(index));
}

void GSOOnlineGroup::GetUserStatus(GSStack& stack) {
  const OnlineGroupState::Member* member = IndexedMember(stack);
  stack.Push(GSFromInt(member != nullptr ? static_cast<int32_t>(member->status) : 0));
}

void GSOOnlineGroup::PostMessage(GSStack& stack) {
  const GSOSoup* soup = SoupArg(stack, 1);
  if (soup == nullptr) return;
  if (!HasOwner()) {
    stack.Push(GSFromInt(OnlineAccessObject::kNotOnline));
    return;
  }
  OnlineAccessObject* owner = owner_->Online();
  if (owner == nullptr || owner->OverPostLimit()) {
    stack.Push(GSFromInt(OnlineAccessObject::kLimited));
    return;
  }
  const int result = state_->PostMessage(soup->GetSoup(), owner_->AssetKUID());
  owner->CountPost();
  stack.Push(GSFromInt(result));
}

void GSOOnlineGroup::CollectMessage(GSStack& stack) {
  GSOSoup* soup = WritableSoupArg(stack, 2, "OnlineGroup.CollectMessage> soup is locked");
  if (soup == nullptr) return;
  std::string user;
  Soup body;
  const int result =
      state_ != nullptr ? state_->PopMessage(user, body) : OnlineAccessObject::kNotOnline;
  if (result == OnlineAccessObject::kDone) {
    SetStringArg(stack, 1, user);
    soup->SetSoup(body);
  }
  stack.Push(GSFromInt(result));
}

void GSOOnlineGroup::SetModeFlags(GSStack& stack) {
  if (!HasOwner()) return;
  state_->SetModeFlags(static_cast<uint32_t>(GSInt(GSNativeArg(stack, 1))),
                       static_cast<uint32_t>(GSInt(GSNativeArg(stack, 2))));
}

void GSOOnlineGroup::SetUserModeFlags(GSStack& stack) {
  std::string name;
  if (!HasOwner() || !NameArg(stack, 1, name)) return;
  state_->SetUserModeFlags(name, static_cast<uint32_t>(GSInt(GSNativeArg(stack, 2))),
                           static_cast<uint32_t>(GSInt(GSNativeArg(stack, 3))));
}

void GSOOnlineGroup::GetUserModeFlags(GSStack& stack) {
  std::string name;
  if (HasOwner() && !NameArg(stack, 1, name)) return;
  const int index = HasOwner() ? state_->FindUser(name) : -1;
  const uint32_t modeFlags =
      index >= 0 ? state_->Members()[static_cast<size_t>(index)].modeFlags : 0;
  stack.Push(GSFromInt(static_cast<int32_t>(modeFlags)));
}

void RegisterOnlineGroupNatives(GSMachine& machine) {
  using Method = void (GSOOnlineGroup::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  static const Entry kNatives[] = {
      {"$void@OnlineGroup::Connect()", &GSOOnlineGroup::Connect},
      {"$int@OnlineGroup::GetStatus()", &GSOOnlineGroup::GetStatus},
      {"$void@OnlineGroup::Disconnect()", &GSOOnlineGroup::Disconnect},
      {"$string@OnlineGroup::GetOnlineGroupCookie()", &GSOOnlineGroup::GetOnlineGroupCookie},
      {"$void@OnlineGroup::AddUser(string)", &GSOOnlineGroup::AddUser},
      {"$void@OnlineGroup::RemoveUser(string)", &GSOOnlineGroup::RemoveUser},
      {"$int@OnlineGroup::CountUsers()", &GSOOnlineGroup::CountUsers},
      {"$string@OnlineGroup::GetIndexedUser(int)", &GSOOnlineGroup::GetIndexedUser},
      {"$int@OnlineGroup::FindUser(string)", &GSOOnlineGroup::FindUser},
      {"$int@OnlineGroup::GetUserStatus(int)", &GSOOnlineGroup::GetUserStatus},
      {"$int@OnlineGroup::PostMessage(Soup)", &GSOOnlineGroup::PostMessage},
      {"$int@OnlineGroup::CollectMessage(string,Soup)", &GSOOnlineGroup::CollectMessage},
      {"$void@OnlineGroup::SetModeFlags(int,int)", &GSOOnlineGroup::SetModeFlags},
      {"$void@OnlineGroup::SetUserModeFlags(string,int,int)", &GSOOnlineGroup::SetUserModeFlags},
      {"$int@OnlineGroup::GetUserModeFlags(string)", &GSOOnlineGroup::GetUserModeFlags},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(
        std::make_unique<GSCPPNativeFunction<GSOOnlineGroup>>("OnlineGroup", e.signature,
                                                              e.method));
}
