#include "gsnative/GSOOnlineAccess.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "gsnative/AssetModifiedFlag.h"
#include "gsnative/GSOLibrary.h"
#include "gsnative/GSOOnlineGroup.h"
#include "gsnative/OnlineNativeArgs.h"
#include "gsnative/VandruScriptContext.h"
#include "gsnative/online/OnlineAccessProcess.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSScriptInstance.h"

GSRuntime::GSClass* gOnlineAccessScriptClass = nullptr;

using namespace GSRuntime;
using namespace OnlineNatives;

namespace {

// The live online objects of every context, in creation order. Never
// destroyed: objects may outlive static destruction.
std::vector<GSOOnlineAccess*>& LiveObjects() {
  static auto* objects = new std::vector<GSOOnlineAccess*>;
  return *objects;
}

}  // namespace

GSOOnlineAccess::GSOOnlineAccess(const KUID& kuid, bool modified)
    : kuid_(kuid),
      online_(std::make_unique<OnlineAccessObject>(OnlineAccessProcess::Get(), kuid, modified,
                                                   this)) {
  LiveObjects().push_back(this);
}

GSOOnlineAccess::~GSOOnlineAccess() {
  online_.reset();
  std::vector<GSOOnlineAccess*>& live = LiveObjects();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

bool GSOOnlineAccess::Held() const {
  const GSValue instance = GetScriptInstance();
  return online_ != nullptr && instance != 0 && GSScriptInstance::FromRef(instance)->count > 0;
}

GSOOnlineAccess* GSOOnlineAccess::Get(GSContext* context, const KUID& kuid) {
  if (kuid.IsNull() || context == nullptr || context->Router() == nullptr) return nullptr;
  for (GSOOnlineAccess* object : LiveObjects()) {
    if (object->Context() != context || !object->Held()) continue;
    if (object->kuid_.userId != kuid.userId || object->kuid_.contentId != kuid.contentId) continue;
    GSObjectReference::AddRef(object->GetScriptInstance());
    return object;
  }
  auto* object = new (std::nothrow) GSOOnlineAccess(kuid, IsAssetSpecLocallyModified(kuid));
  if (object == nullptr) return nullptr;
  if (!object->AttachScriptInstance(gOnlineAccessScriptClass, context)) {
    delete object;
    return nullptr;
  }
  context->Router()->AddNode(object);
  return object;
}

GSOOnlineAccess* GetOnlineAccess(const KUID& kuid, GSContext* context) {
  return GSOOnlineAccess::Get(context, kuid);
}

void GSOOnlineAccess::Update(float elapsed) {
  GSGameObject::Update(elapsed);
  if (online_ == nullptr) return;
  online_->Update(elapsed);
  scheduled = true;
  if (Router() != nullptr) Router()->Schedule(this);
}

bool GSOOnlineAccess::DeferRelease() {
  if (!GSGameObject::DeferRelease()) return false;
  online_.reset();
  return true;
}

void GSOOnlineAccess::Post(const char* major, const char* minor) {
  const GSMessageRef message = GSNode::PostMessage(major, minor, Id(), 0);
  if (message && Router() != nullptr) Router()->Post(message);
}

void GSOOnlineAccess::Connect(GSStack&) {
  if (online_ != nullptr) online_->Connect();
}

void GSOOnlineAccess::GetStatus(GSStack& stack) {
  stack.Push(GSFromInt(online_ != nullptr ? static_cast<int32_t>(online_->GetStatus()) : 0));
}

void GSOOnlineAccess::Disconnect(GSStack&) {
  if (online_ != nullptr) online_->Disconnect();
}

void GSOOnlineAccess::GetUsername(GSStack& stack) {
  PushText(stack, online_ != nullptr ? online_->GetUsername() : std::string());
}

void GSOOnlineAccess::GetLocalData(GSStack& stack) {
  std::string key;
  if (!NameArg(stack, 1, key)) return;
  GSOSoup* soup = WritableSoupArg(stack, 2, "OnlineAccess.GetLocalData> soup is locked");
  if (soup == nullptr) return;
  Soup data;
  const bool got = online_ != nullptr && online_->GetLocalData(key, data);
  if (got) soup->SetSoup(data);
  stack.Push(GSFromInt(got ? OnlineAccessObject::kDone : OnlineAccessObject::kNotOnline));
}

void GSOOnlineAccess::SetLocalData(GSStack& stack) {
  std::string key;
  if (!NameArg(stack, 1, key)) return;
  const GSOSoup* soup = SoupArg(stack, 2);
  if (soup == nullptr) return;
  const bool sent = online_ != nullptr && online_->SetLocalData(key, soup->GetSoup());
  stack.Push(GSFromInt(sent ? OnlineAccessObject::kDone : OnlineAccessObject::kNotOnline));
}

void GSOOnlineAccess::GetProfileData(GSStack& stack) {
  stack.Push(GSFromInt(OnlineAccessObject::kDone));
}

void GSOOnlineAccess::SetProfileData(GSStack& stack) {
  stack.Push(GSFromInt(OnlineAccessObject::kDone));
}

void GSOOnlineAccess::PostMessage(GSStack& stack) {
  if (online_ == nullptr || online_->OverPostLimit()) {
    stack.Push(GSFromInt(OnlineAccessObject::kLimited));
    return;
  }
  std::string user;
  if (!NameArg(stack, 1, user)) return;
  const GSOSoup* soup = SoupArg(stack, 2);
  if (soup == nullptr) return;
  stack.Push(GSFromInt(online_->PostMessage(user, soup->GetSoup())));
}

void GSOOnlineAccess::CollectMessage(GSStack& stack) {
  GSOSoup* soup = WritableSoupArg(stack, 2, "OnlineAccess.CollectMessage> soup is locked");
  if (soup == nullptr) return;
  std::string user;
  Soup body;
  const int result = online_ != nullptr ? online_->PopMessage(user, body)
                                        : OnlineAccessObject::kNotOnline;
  if (result == OnlineAccessObject::kDone) {
    SetStringArg(stack, 1, user);
    soup->SetSoup(body);
  }
  stack.Push(GSFromInt(result));
}

void GSOOnlineAccess::PushGroup(GSStack& stack, const Kiv::PString& cookie, int32_t mode) {
  GSOOnlineGroup* group =
      online_ != nullptr ? GSOOnlineGroup::Create(*this, cookie, static_cast<uint32_t>(mode))
                         : nullptr;
  if (group == nullptr) {
    stack.Push(0);
    return;
  }
  stack.PushObject(nullptr, group);
}

void GSOOnlineAccess::CreateGroup(GSStack& stack) {
  PushGroup(stack, Kiv::PString(), GSInt(GSNativeArg(stack, 1)));
}

void GSOOnlineAccess::OpenGroup(GSStack& stack) {
  std::string cookie;
  if (!NameArg(stack, 1, cookie)) return;
  PushGroup(stack, Kiv::PString(cookie.c_str()), GSInt(GSNativeArg(stack, 2)));
}

void GSOOnlineAccess::PostOfflineMessage(GSStack& stack) {
  const GSOSoup* soup = SoupArg(stack, 1);
  if (soup == nullptr) return;
  if (online_ != nullptr) online_->PostOfflineMessage(soup->GetSoup());
  stack.Push(GSFromInt(OnlineAccessObject::kDone));
}

void GSOOnlineAccess::CollectOfflineMessage(GSStack& stack) {
  GSOSoup* soup =
      WritableSoupArg(stack, 1, "OnlineAccess.CollectOfflineMessage> soup is locked");
  if (soup == nullptr) return;
  Soup taken;
  const int result = online_ != nullptr ? online_->CollectOfflineMessage(taken)
                                        : OnlineAccessObject::kNothingWaiting;
  if (result == OnlineAccessObject::kDone) soup->SetSoup(taken);
  stack.Push(GSFromInt(result));
}

void RegisterOnlineAccessNatives(GSMachine& machine) {
  using Method = void (GSOOnlineAccess::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  static const Entry kNatives[] = {
      {"$void@OnlineAccess::Connect()", &GSOOnlineAccess::Connect},
      {"$int@OnlineAccess::GetStatus()", &GSOOnlineAccess::GetStatus},
      {"$void@OnlineAccess::Disconnect()", &GSOOnlineAccess::Disconnect},
      {"$string@OnlineAccess::GetUsername()", &GSOOnlineAccess::GetUsername},
      {"$int@OnlineAccess::GetLocalData(string,Soup)", &GSOOnlineAccess::GetLocalData},
      {"$int@OnlineAccess::SetLocalData(string,Soup)", &GSOOnlineAccess::SetLocalData},
      {"$int@OnlineAccess::GetProfileData(string,Soup)", &GSOOnlineAccess::GetProfileData},
      {"$int@OnlineAccess::SetProfileData(string,Soup)", &GSOOnlineAccess::SetProfileData},
      {"$int@OnlineAccess::PostMessage(string,Soup)", &GSOOnlineAccess::PostMessage},
      {"$int@OnlineAccess::CollectMessage(string,Soup)", &GSOOnlineAccess::CollectMessage},
      {"$OnlineGroup@OnlineAccess::CreateGroup(int)", &GSOOnlineAccess::CreateGroup},
      {"$OnlineGroup@OnlineAccess::OpenGroup(string,int)", &GSOOnlineAccess::OpenGroup},
      {"$int@OnlineAccess::PostOfflineMessage(Soup)", &GSOOnlineAccess::PostOfflineMessage},
      {"$int@OnlineAccess::CollectOfflineMessage(Soup)", &GSOOnlineAccess::CollectOfflineMessage},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(
        std::make_unique<GSCPPNativeFunction<GSOOnlineAccess>>("OnlineAccess", e.signature,
                                                               e.method));
  static bool loaded = false;
  if (!loaded) OnlineAccessProcess::Get().Register();
  loaded = true;
  // Library.GetOnlineAccess hands out the same objects.
  SetLibraryOnlineAccessSource(
      [](VandruScriptContext& context, const KUID& library) -> GSRuntime::GSObject* {
        return GetOnlineAccess(library, &context);
      });
}
