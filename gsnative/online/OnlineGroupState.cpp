#include "gsnative/online/OnlineGroupState.h"

#include "gsnative/online/OnlineWire.h"
#include "kiv/String.h"

OnlineGroupState::OnlineGroupState(OnlineAccessClientEndpoint& endpoint,
                                   OnlineAccessClientBase* owner, const Kiv::PString& cookie,
                                   uint32_t mode, OnlineGroupEvents* events)
    : endpoint_(&endpoint), owner_(owner), events_(events), cookie_(cookie), mode_(mode) {
  endpoint.AddGroup(this);
}

OnlineGroupState::~OnlineGroupState() {
  if (endpoint_ != nullptr) endpoint_->SendLeaveGroup(cookie_);
  events_ = nullptr;
  Closed();
}

void OnlineGroupState::Post(const char* major, const std::string& minor) {
  if (events_ != nullptr) events_->Post(major, minor);
}

void OnlineGroupState::SetStatus(uint32_t status) {
  const uint32_t old = status_;
  status_ = status;
  if (old != status) Post("OnlineGroup", "StatusChange");
}

void OnlineGroupState::Connect() {
  if (endpoint_ == nullptr || status_ != kNotConnected) return;
  status_ = kConnecting;
  if (cookie_.Empty()) {
    requestId_ = endpoint_->SendCreateGroup(mode_);
    return;
  }
  endpoint_->SendOpenGroup(cookie_, mode_);
}

void OnlineGroupState::Disconnect() {
  if (endpoint_ == nullptr) return;
  endpoint_->SendLeaveGroup(cookie_);
  SetStatus(kNotConnected);
}

int OnlineGroupState::FindUser(const std::string& name) const {
  for (size_t i = 0; i < members_.size(); ++i) {
    if (Kiv::EqualsIgnoreCase(members_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

void OnlineGroupState::AddUser(const std::string& name) {
  if (endpoint_ == nullptr || FindUser(name) >= 0) return;
  if (members_.size() >= kMaxMembers) {
    ++droppedMembers_;
    return;
  }
  members_.push_back(Member{name, 0, 0});
  endpoint_->SendGroupUser(cookie_, 0, name);
}

void OnlineGroupState::RemoveUser(const std::string& name) {
  if (endpoint_ == nullptr) return;
  const int index = FindUser(name);
  if (index < 0) return;
  members_.erase(members_.begin() + index);
  endpoint_->SendGroupUser(cookie_, kRemoved, name);
}

void OnlineGroupState::SetModeFlags(uint32_t a, uint32_t b) {
  if (endpoint_ != nullptr) endpoint_->SendSetGroupModeFlags(cookie_, a, b);
}

void OnlineGroupState::SetUserModeFlags(const std::string& name, uint32_t a, uint32_t b) {
  if (endpoint_ != nullptr) endpoint_->SendSetGroupUserModeFlags(cookie_, name, a, b);
}

int OnlineGroupState::PostMessage(const Soup& body, const KUID& kuid) {
  if (endpoint_ == nullptr) return OnlineAccessClientEndpoint::kNotOnline;
  return endpoint_->SendGroupMessage(std::string(cookie_.View()), body, kuid);
}

int OnlineGroupState::PopMessage(std::string& userName, Soup& body) {
  if (endpoint_ == nullptr || endpoint_->GetStatus() != OnlineAccessClientEndpoint::kStatusOnline) {
    return 1;
  }
  if (messages_.empty()) return 6;
  userName = messages_.front()->userName;
  body = messages_.front()->body;
  messages_.pop_front();
  return 0;
}

bool OnlineGroupState::TakeMessageArrived() {
  const bool arrived = messageArrived_;
  messageArrived_ = false;
  return arrived;
}

bool OnlineGroupState::MatchesRequest(uint32_t requestId) {
  return status_ == kConnecting && cookie_.Empty() && requestId_ == requestId;
}

void OnlineGroupState::Opened(const Kiv::PString& cookie, WireReader& rest) {
  cookie_ = cookie;
  requestId_ = 0;
  SetStatus(kOpen);
  ReadMembers(rest, true);
}

void OnlineGroupState::UsersChanged(WireReader& rest) { ReadMembers(rest, false); }

void OnlineGroupState::Closed() {
  SetStatus(kClosed);
  if (endpoint_ == nullptr) return;
  endpoint_->RemoveGroup(this);
  endpoint_ = nullptr;
  owner_ = nullptr;
}

void OnlineGroupState::ClientRemoved(OnlineAccessClientBase* client) {
  if (owner_ != nullptr && client == owner_) Closed();
}

bool OnlineGroupState::HasCookie(const Kiv::PString& cookie) {
  return !cookie_.Empty() && cookie_ == cookie;
}

void OnlineGroupState::ReceiveMessage(std::unique_ptr<OnlineGroupMessage> message) {
  if (messages_.size() >= kMaxQueuedMessages) {
    ++droppedMessages_;
    return;
  }
  messages_.push_back(std::move(message));
  messageArrived_ = true;
}

void OnlineGroupState::ReadMembers(WireReader& reader, bool replace) {
  bool changed = false;
  if (replace && !members_.empty()) {
    members_.clear();
    changed = true;
  }
  uint16_t count = 0;
  if (reader.U16(count)) {
    for (uint16_t i = 0; i < count; ++i) {
      std::string name;
      uint8_t status = 0;
      uint32_t flags = 0;
      if (!reader.String(name) || !reader.U8(status) || !reader.U32(flags)) break;
      changed = ApplyMember(name, status, flags) || changed;
    }
  }
  if (changed) Post("OnlineGroup", "UsersChange");
}

bool OnlineGroupState::ApplyMember(const std::string& name, uint8_t status, uint32_t flags) {
  const int index = FindUser(name);
  if (status == kRemoved) {
    if (index < 0) return false;
    const std::string removed = members_[index].name;
    members_.erase(members_.begin() + index);
    Post("OnlineGroup.UserRemoved", removed);
    return true;
  }
  if (index < 0) {
    if (members_.size() >= kMaxMembers) {
      ++droppedMembers_;
      return false;
    }
    members_.push_back(Member{name, status, flags});
    Post("OnlineGroup.UserAdded", name);
    return true;
  }
  Member& member = members_[index];
  if (member.status == status && member.modeFlags == flags) return false;
  member.status = status;
  member.modeFlags = flags;
  Post("OnlineGroup.UserStatus", name);
  return true;
}
