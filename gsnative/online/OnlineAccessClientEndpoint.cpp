#include "gsnative/online/OnlineAccessClientEndpoint.h"

#include <algorithm>

#include "foundation/base/ApplicationRecords.h"
#include "foundation/base/ProgramClock.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/online/OnlineWire.h"
#include "kiv/Log.h"

namespace {

enum ClientPacket : uint8_t {
  kCredential = 2,
  kMessageOut = 11,
  kLeaveGroup = 22,
  kGroupUser = 23,
  kGroupMessageOut = 24,
  kSetGroupModeFlags = 25,
  kSetGroupUserModeFlags = 26,
  kOpenGroup = 28,
  kCreateGroup = 29,
  kHello = 31,
};

enum ServicePacket : uint8_t {
  kChannelKey = 1,
  kLoginResult = 3,
  kLoginResultWithLimits = 4,
  kPlainMessage = 10,
  kVersionedMessage = 11,
  kGroupOpened = 21,
  kGroupClosed = 22,
  kGroupUsers = 23,
  kGroupMessageIn = 24,
  kGroupCreated = 29,
};

std::unique_ptr<TMEPacket> NewPacket(uint8_t type) {
  auto packet = std::make_unique<TMEPacket>();
  TStreamWriteU8(*packet, type);
  return packet;
}

bool SameAsset(const KUID& a, const KUID& b) {
  return a.userId == b.userId && a.contentId == b.contentId;
}

}  // namespace

OnlineAccessClientEndpoint::OnlineAccessClientEndpoint(OnlineAccountSource& account,
                                                       std::string host, uint16_t port)
    : account_(account), host_(std::move(host)), port_(port) {}

OnlineAccessClientEndpoint::~OnlineAccessClientEndpoint() {
  Disconnect();
  socket_.Close();
}

bool OnlineAccessClientEndpoint::Connect(bool force) {
  if (!force && (status_ == kStatusConnecting || status_ == kStatusOnline)) return false;
  const std::string userName = account_.GetOnlineUsername();
  if (userName.empty()) {
    Kiv::Log::Write("OnlineAccessClientEndpoint::Connect> empty profile name");
    status_ = kStatusNoProfile;
    return false;
  }
  Disconnect();
  status_ = kStatusConnecting;
  credential_ = account_.GetCredential();
  if (credential_.empty()) {
    account_.StartWebLogin();
    webLoginPending_ = true;
    return false;
  }
  if (!socket_.IsOpen()) socket_.Open();
  SetFragmentMode(kModeFragment);
  if (!socket_.AddPeer(host_.c_str(), port_, &peer_)) {
    // An unresolved address is all zeros, which this system takes for
    // itself: send nothing and count the connection as lost.
    Kiv::Log::Printf("OnlineAccessClientEndpoint::Connect> the host '%s' does not resolve",
                     host_.c_str());
    socket_.RemovePeer(&peer_);
    status_ = kStatusLost;
    return false;
  }
  Reset(&peer_);
  status_ = kStatusConnecting;
  SetChannelKey("");
  SendHello(userName);
  return true;
}

void OnlineAccessClientEndpoint::Disconnect() {
  if (webLoginPending_) account_.CloseWebLogin();
  webLoginPending_ = false;
  Close();
  if (peer_.Socket() != nullptr) peer_.Socket()->RemovePeer(&peer_);
  status_ = kStatusNotConnected;
}

void OnlineAccessClientEndpoint::OnDisconnected() {
  if (status_ == kStatusConnecting || status_ == kStatusOnline) status_ = kStatusLost;
}

void OnlineAccessClientEndpoint::Update() {
  const double now = ProgramClock::Seconds();
  const double elapsed = now - lastUpdateTime_;
  hourCounter_ = std::max(0.0, hourCounter_ - elapsed / 3600.0 * bytesPerHour_);
  minuteCounter_ = std::max(0.0, minuteCounter_ - elapsed / 60.0 * bytesPerMinute_);
  lastUpdateTime_ = now;
  retryDelay_ -= elapsed;
  if (retryDelay_ < -10.0) retryDelay_ = 0.0;

  socket_.Poll();
  TMEEndpoint::Update();

  uint32_t result = 0;
  if (webLoginPending_ && account_.WebLoginDone(result)) {
    account_.CloseWebLogin();
    webLoginPending_ = false;
    FinishWebLogin(result);
  }
}

void OnlineAccessClientEndpoint::FinishWebLogin(uint32_t result) {
  if (result != 0 || retryDelay_ > 0.0) {
    if (status_ != kStatusConnecting) return;
    Disconnect();
    if (result == 3) status_ = kStatusRefused;
    return;
  }
  if (status_ == kStatusConnecting && !Connect(true)) retryDelay_ = kWebLoginRetryDelay;
}

void OnlineAccessClientEndpoint::SendHello(const std::string& userName) {
  auto packet = NewPacket(kHello);
  OnlineWire::WriteString(*packet, userName);
  OnlineWire::WriteString(*packet, GetApplicationName());
  // The product version, build number and flag: nothing in the program
  // sets them.
  TStreamWriteFloat(*packet, 0.0f);
  TStreamWriteU32(*packet, 0);
  TStreamWriteBool(*packet, false);
  OnlineWire::WriteString(*packet, GetClientToken());
  TStreamWriteU8(*packet, 4);
  Queue(std::move(packet));
}

void OnlineAccessClientEndpoint::SendCredential() {
  auto packet = NewPacket(kCredential);
  OnlineWire::WriteString(*packet, credential_);
  Queue(std::move(packet));
}

bool OnlineAccessClientEndpoint::Queue(std::unique_ptr<TMEPacket> packet) {
  if (!SendPacket(packet.get())) return false;
  packet.release();
  return true;
}

void OnlineAccessClientEndpoint::AddClient(OnlineAccessClientBase* client) {
  if (std::find(clients_.begin(), clients_.end(), client) == clients_.end()) {
    clients_.push_back(client);
  }
  for (auto it = stored_.begin(); it != stored_.end();) {
    if (!SameAsset((*it)->kuid, client->kuid)) {
      ++it;
      continue;
    }
    Kiv::Log::Printf("OnlineAccessClientEndpoint::AddClient> replaying stored message for %s",
                     KUIDToTagString((*it)->kuid).c_str());
    std::unique_ptr<OnlineMessage> message = std::move(*it);
    it = stored_.erase(it);
    client->ReceiveMessage(std::move(message));
  }
}

void OnlineAccessClientEndpoint::RemoveClient(OnlineAccessClientBase* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
  const std::vector<OnlineGroup*> groups = groups_;
  for (OnlineGroup* group : groups) {
    if (std::find(groups_.begin(), groups_.end(), group) != groups_.end()) {
      group->ClientRemoved(client);
    }
  }
}

void OnlineAccessClientEndpoint::AddGroup(OnlineGroup* group) {
  if (std::find(groups_.begin(), groups_.end(), group) == groups_.end()) groups_.push_back(group);
}

void OnlineAccessClientEndpoint::RemoveGroup(OnlineGroup* group) {
  groups_.erase(std::remove(groups_.begin(), groups_.end(), group), groups_.end());
}

int OnlineAccessClientEndpoint::SendMessage(const std::string& userName, const Soup& body,
                                            bool modified, const KUID& kuid) {
  if (status_ != kStatusOnline) return kNotOnline;
  OnlineVersionedMessage message;
  message.userName = userName;
  message.body = body;
  message.kuid = kuid;
  message.version = 1;
  message.modified = modified;
  auto packet = NewPacket(kMessageOut);
  message.Write(*packet);
  return SendLimited(std::move(packet), userName);
}

int OnlineAccessClientEndpoint::SendGroupMessage(const std::string& cookie, const Soup& body,
                                                 const KUID& kuid) {
  if (status_ != kStatusOnline) return kNotOnline;
  OnlineGroupMessage message;
  message.cookie = Kiv::PString(cookie);
  message.body = body;
  message.kuid = kuid;
  auto packet = NewPacket(kGroupMessageOut);
  message.Write(*packet);
  return SendLimited(std::move(packet), cookie);
}

int OnlineAccessClientEndpoint::SendLimited(std::unique_ptr<TMEPacket> packet,
                                            const std::string& addressee) {
  if (hourCounter_ > bytesPerHour_ || minuteCounter_ > bytesPerMinute_) {
    Kiv::Log::Printf("OnlineAccessClientEndpoint::SendMessage> flood limit reached: message to %s dropped",
                     addressee.c_str());
    return kLimited;
  }
  const double size = packet->PayloadSize();
  if (!Queue(std::move(packet))) return kLimited;
  hourCounter_ += size;
  minuteCounter_ += size;
  return kSent;
}

uint32_t OnlineAccessClientEndpoint::SendCreateGroup(uint32_t mode) {
  const uint32_t id = ++groupRequestCounter_;
  auto packet = NewPacket(kCreateGroup);
  TStreamWriteU32(*packet, id);
  TStreamWriteU32(*packet, mode);
  Queue(std::move(packet));
  return id;
}

void OnlineAccessClientEndpoint::SendOpenGroup(const Kiv::PString& cookie, uint32_t mode) {
  auto packet = NewPacket(kOpenGroup);
  OnlineWire::WriteString(*packet, cookie.View());
  TStreamWriteU32(*packet, mode);
  Queue(std::move(packet));
}

void OnlineAccessClientEndpoint::SendLeaveGroup(const Kiv::PString& cookie) {
  if (cookie.Empty()) return;
  auto packet = NewPacket(kLeaveGroup);
  OnlineWire::WriteString(*packet, cookie.View());
  Queue(std::move(packet));
}

void OnlineAccessClientEndpoint::SendGroupUser(const Kiv::PString& cookie, uint8_t operation,
                                               const std::string& userName) {
  auto packet = NewPacket(kGroupUser);
  OnlineWire::WriteString(*packet, cookie.View());
  TStreamWriteU8(*packet, operation);
  OnlineWire::WriteString(*packet, userName);
  Queue(std::move(packet));
}

void OnlineAccessClientEndpoint::SendSetGroupModeFlags(const Kiv::PString& cookie, uint32_t a,
                                                       uint32_t b) {
  auto packet = NewPacket(kSetGroupModeFlags);
  OnlineWire::WriteString(*packet, cookie.View());
  TStreamWriteU32(*packet, a);
  TStreamWriteU32(*packet, b);
  Queue(std::move(packet));
}

void OnlineAccessClientEndpoint::SendSetGroupUserModeFlags(const Kiv::PString& cookie,
                                                           const std::string& userName,
                                                           uint32_t a, uint32_t b) {
  auto packet = NewPacket(kSetGroupUserModeFlags);
  OnlineWire::WriteString(*packet, cookie.View());
  OnlineWire::WriteString(*packet, userName);
  TStreamWriteU32(*packet, a);
  TStreamWriteU32(*packet, b);
  Queue(std::move(packet));
}

void OnlineAccessClientEndpoint::SaveStoredMessages(TStream& stream) const {
  OnlineMessageCache::Write(stream, stored_);
}

OnlineMessageCache::ReadResult OnlineAccessClientEndpoint::LoadStoredMessages(TStream& stream) {
  OnlineMessageCache::MessageList loaded;
  const OnlineMessageCache::ReadResult result = OnlineMessageCache::Read(stream, loaded);
  if (result != OnlineMessageCache::ReadResult::kWrongVersion) stored_ = std::move(loaded);
  return result;
}

void OnlineAccessClientEndpoint::HandlePacket(TMEPacket& packet) {
  WireReader reader(packet);
  uint8_t type = 0;
  if (!reader.U8(type)) return;
  switch (type) {
    case kChannelKey:
      HandleChannelKey(reader);
      return;
    case kLoginResult:
    case kLoginResultWithLimits:
      HandleLoginResult(type, reader);
      return;
    case kPlainMessage:
    case kVersionedMessage:
      HandleMessage(type, reader);
      return;
    case kGroupOpened:
    case kGroupClosed:
    case kGroupUsers:
    case kGroupMessageIn:
    case kGroupCreated:
      HandleGroupPacket(type, reader);
      return;
    default:
      return;
  }
}

void OnlineAccessClientEndpoint::HandleChannelKey(WireReader& reader) {
  std::string error;
  std::string key;
  if (!reader.String(error) || !reader.String(key)) return;
  if (!error.empty()) {
    status_ = kStatusRefused;
    return;
  }
  if (!SetChannelKey(key)) {
    status_ = kStatusBadKey;
    return;
  }
  SendCredential();
}

void OnlineAccessClientEndpoint::HandleLoginResult(uint8_t type, WireReader& reader) {
  std::string error;
  if (!reader.String(error)) return;
  if (!error.empty()) {
    status_ = kStatusRefused;
    account_.ReportLoginRefused();
    return;
  }
  if (type == kLoginResult) {
    uint32_t unused = 0;
    float unusedFloat = 0.0f;
    if (!reader.U32(unused) || !reader.F32(unusedFloat)) return;
    status_ = kStatusOnline;
    return;
  }
  bool unusedFlag = false;
  uint32_t perMinute = 0;
  uint32_t unused = 0;
  uint32_t perHour = 0;
  if (!reader.Bool(unusedFlag) || !reader.U32(perMinute) || !reader.U32(unused) ||
      !reader.U32(perHour)) {
    return;
  }
  bytesPerMinute_ = perMinute;
  bytesPerHour_ = perHour;
  Kiv::Log::Printf("OnlineAccessClientEndpoint::HandlePacket> Flood limits set by server (%f,%f)",
                   bytesPerHour_, bytesPerMinute_);
  status_ = kStatusOnline;
}

void OnlineAccessClientEndpoint::HandleMessage(uint8_t type, WireReader& reader) {
  std::unique_ptr<OnlineMessage> message;
  if (type == kVersionedMessage) {
    message = std::make_unique<OnlineVersionedMessage>();
  } else {
    message = std::make_unique<OnlineMessage>();
  }
  if (!message->Read(reader)) return;
  Deliver(std::move(message));
}

void OnlineAccessClientEndpoint::Deliver(std::unique_ptr<OnlineMessage> message) {
  for (OnlineAccessClientBase* client : clients_) {
    if (client->kuid == message->kuid) {
      client->ReceiveMessage(std::move(message));
      return;
    }
  }
  const Kiv::PString tag = KUIDToTagString(message->kuid);
  if (stored_.size() >= kMaxStoredMessages) {
    Kiv::Log::Printf("OnlineAccessClientEndpoint::HandlePacket> %zu messages are stored already; "
                     "message for %s dropped",
                     stored_.size(), tag.c_str());
    return;
  }
  Kiv::Log::Printf("OnlineAccessClientEndpoint::HandlePacket> Storing iVandru message for %s",
                   tag.c_str());
  stored_.push_back(std::move(message));
}

OnlineAccessClientEndpoint::OnlineGroup* OnlineAccessClientEndpoint::FindGroupByCookie(
    const Kiv::PString& cookie) {
  for (OnlineGroup* group : groups_) {
    if (group->HasCookie(cookie)) return group;
  }
  return nullptr;
}

void OnlineAccessClientEndpoint::HandleGroupPacket(uint8_t type, WireReader& reader) {
  if (type == kGroupMessageIn) {
    auto message = std::make_unique<OnlineGroupMessage>();
    if (!message->Read(reader)) return;
    OnlineGroup* group = FindGroupByCookie(message->cookie);
    if (group == nullptr) {
      SendLeaveGroup(message->cookie);
      return;
    }
    group->ReceiveMessage(std::move(message));
    return;
  }
  uint32_t requestId = 0;
  if (type == kGroupCreated && !reader.U32(requestId)) return;
  std::string cookieText;
  if (!reader.String(cookieText)) return;
  const Kiv::PString cookie(cookieText);
  OnlineGroup* group = nullptr;
  if (type == kGroupCreated) {
    for (OnlineGroup* candidate : groups_) {
      if (candidate->MatchesRequest(requestId)) {
        group = candidate;
        break;
      }
    }
  } else {
    group = FindGroupByCookie(cookie);
  }
  if (group == nullptr) {
    if (type != kGroupClosed) SendLeaveGroup(cookie);
    return;
  }
  switch (type) {
    case kGroupClosed:
      group->Closed();
      return;
    case kGroupUsers:
      group->UsersChanged(reader);
      return;
    default:
      group->Opened(cookie, reader);
      return;
  }
}
