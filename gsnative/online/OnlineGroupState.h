// OnlineGroupState: one online group as the client keeps it: its status,
// cookie, member list and received group messages, and the requests it
// sends through the endpoint. The script class of groups wraps it; events
// that the script hears go to an OnlineGroupEvents sink.
//
// Status: 0 not connected, 1 connecting, 2 open, 3 closed. The group joins
// the endpoint's group list when made and leaves it when closed or
// destroyed. "With an owner" operations (Connect, Disconnect, AddUser,
// RemoveUser, the mode flags, PostMessage) do nothing once the group is
// closed, when its owner is gone.
//
// Member lists from the service are untrusted: a u16 count, then per entry
// a name (string), a status (u8; 255 = removed) and mode flags (u32).
// Entries are applied one by one until the count or the first short entry;
// at most kMaxMembers are kept (further new names are dropped and counted).
// Names compare without regard to ASCII case.
//
// Events (major, minor): ("OnlineGroup.UserAdded", name),
// ("OnlineGroup.UserRemoved", name), ("OnlineGroup.UserStatus", name),
// ("OnlineGroup", "UsersChange") once after a list that changed anything,
// ("OnlineGroup", "StatusChange") when Opened, Closed or Disconnect change
// the status.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "gsnative/online/OnlineAccessClientEndpoint.h"
#include "gsnative/online/OnlineAccessMessageListInterface.h"

class OnlineGroupEvents {
 public:
  virtual ~OnlineGroupEvents() = default;
  virtual void Post(const char* major, const std::string& minor) = 0;
};

class OnlineGroupState : public OnlineAccessClientEndpoint::OnlineGroup,
                         public OnlineAccessMessageListInterface {
 public:
  static constexpr uint32_t kNotConnected = 0;
  static constexpr uint32_t kConnecting = 1;
  static constexpr uint32_t kOpen = 2;
  static constexpr uint32_t kClosed = 3;
  static constexpr uint8_t kRemoved = 255;
  static constexpr size_t kMaxMembers = 4096;
  static constexpr size_t kMaxQueuedMessages = 1000;

  struct Member {
    std::string name;
    uint32_t status = 0;
    uint32_t modeFlags = 0;
  };

  // `owner` is the client of the script's online object (for
  // ClientRemoved); `events` may be null. Neither is owned.
  OnlineGroupState(OnlineAccessClientEndpoint& endpoint, OnlineAccessClientBase* owner,
                   const Kiv::PString& cookie, uint32_t mode, OnlineGroupEvents* events);
  ~OnlineGroupState() override;

  void Connect();
  void Disconnect();
  void AddUser(const std::string& name);
  void RemoveUser(const std::string& name);
  void SetModeFlags(uint32_t a, uint32_t b);
  void SetUserModeFlags(const std::string& name, uint32_t a, uint32_t b);
  // 0 sent, 1 no owner or not online, 4 limited (the endpoint's results).
  int PostMessage(const Soup& body, const KUID& kuid);
  // 1 without an owner or while the endpoint is not online, 6 when none
  // waits, else 0 with the oldest message's user name and body.
  int PopMessage(std::string& userName, Soup& body) override;
  // The message-arrived flag, cleared by the call.
  bool TakeMessageArrived();

  int FindUser(const std::string& name) const;
  const std::vector<Member>& Members() const { return members_; }
  uint32_t GetStatus() const { return status_; }
  const Kiv::PString& GetCookie() const { return cookie_; }
  bool HasOwner() const { return endpoint_ != nullptr; }
  uint64_t DroppedMembers() const { return droppedMembers_; }
  uint64_t DroppedMessages() const { return droppedMessages_; }

  bool MatchesRequest(uint32_t requestId) override;
  void Opened(const Kiv::PString& cookie, WireReader& rest) override;
  void UsersChanged(WireReader& rest) override;
  void Closed() override;
  void ClientRemoved(OnlineAccessClientBase* client) override;
  bool HasCookie(const Kiv::PString& cookie) override;
  void ReceiveMessage(std::unique_ptr<OnlineGroupMessage> message) override;

 private:
  void SetStatus(uint32_t status);
  void ReadMembers(WireReader& reader, bool replace);
  bool ApplyMember(const std::string& name, uint8_t status, uint32_t flags);
  void Post(const char* major, const std::string& minor);

  OnlineAccessClientEndpoint* endpoint_;  // null once closed
  OnlineAccessClientBase* owner_;
  OnlineGroupEvents* events_;
  uint32_t status_ = kNotConnected;
  Kiv::PString cookie_;
  std::vector<Member> members_;
  std::deque<std::unique_ptr<OnlineGroupMessage>> messages_;
  bool messageArrived_ = false;
  uint32_t mode_;
  uint32_t requestId_ = 0;
  uint64_t droppedMembers_ = 0;
  uint64_t droppedMessages_ = 0;
};
