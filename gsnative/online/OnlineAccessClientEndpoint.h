// OnlineAccessClientEndpoint: the program's connection to the online-access
// service: login with the account's credential (or a web login through the
// daemon when none is stored), messages between the scripts of one asset on
// different machines, the server's flood limits, messages stored for
// scripts that are not running, and the traffic of online groups.
//
// It is a TMEEndpoint in fragment mode over its own TMESocket. The service
// is at a configured host and port (OnlineSettings.h; tests point it at the
// loopback stand-in). It has no thread: its owner calls Update from its
// periodic update, which reads at most 32 datagrams and runs the channel's
// timers; only the host-name look-up of Connect waits (at most 5 seconds).
//
// A service host that does not resolve ends Connect at status 5 without
// sending anything (an unresolved address would be this machine's own).
//
// Status (GetStatus): 0 no profile, 1 not connected, 2 unusable channel
// key, 3 login refused, 5 connection lost, 6 connecting, 7 online.
//
// Results of SendMessage and SendGroupMessage: 0 sent, 1 not online, 4 over
// the flood limit or the send queue full. The minute and hour counters grow
// by each sent packet's size and drain continuously at the limits' rates.
//
// Service packets are untrusted: every field is read against the bytes the
// packet holds, and a short or damaged packet is ignored whole. Messages
// for no registered client are stored (at most kMaxStoredMessages; later
// ones are dropped with a log line) and replayed, in arrival order, to the
// first client that registers with the same user id and content id.
//
// Ownership: clients and groups are not owned; they remove themselves
// (RemoveClient, RemoveGroup) before they die. Messages handed to a client
// or a group pass to it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "gsnative/online/OnlineAccountSource.h"
#include "gsnative/online/OnlineMessageCache.h"
#include "gsnative/online/OnlineMessages.h"
#include "gsnative/online/TMEEndpoint.h"
#include "gsnative/online/TMESocket.h"

class WireReader;

// The receiving side of a script's online object.
class OnlineAccessClientBase {
 public:
  virtual ~OnlineAccessClientBase() = default;
  virtual void ReceiveMessage(std::unique_ptr<OnlineMessage> message) = 0;

  KUID kuid = kNullKUID;
};

class OnlineAccessClientEndpoint : public TMEEndpoint {
 public:
  using Message = OnlineMessage;
  using VersionedMessage = OnlineVersionedMessage;
  using GroupMessage = OnlineGroupMessage;

  // The endpoint's view of a group (gsnative/online/OnlineGroupState.h).
  class OnlineGroup {
   public:
    virtual ~OnlineGroup() = default;
    virtual bool MatchesRequest(uint32_t requestId) = 0;
    virtual void Opened(const Kiv::PString& cookie, WireReader& rest) = 0;
    virtual void UsersChanged(WireReader& rest) = 0;
    virtual void Closed() = 0;
    virtual void ClientRemoved(OnlineAccessClientBase* client) = 0;
    virtual bool HasCookie(const Kiv::PString& cookie) = 0;
    virtual void ReceiveMessage(std::unique_ptr<OnlineGroupMessage> message) = 0;
  };

  static constexpr uint32_t kStatusNoProfile = 0;
  static constexpr uint32_t kStatusNotConnected = 1;
  static constexpr uint32_t kStatusBadKey = 2;
  static constexpr uint32_t kStatusRefused = 3;
  static constexpr uint32_t kStatusLost = 5;
  static constexpr uint32_t kStatusConnecting = 6;
  static constexpr uint32_t kStatusOnline = 7;

  static constexpr int kSent = 0;
  static constexpr int kNotOnline = 1;
  static constexpr int kLimited = 4;

  static constexpr double kDefaultBytesPerMinute = 300000.0;
  static constexpr double kDefaultBytesPerHour = 10800000.0;
  static constexpr double kWebLoginRetryDelay = 10.0;
  static constexpr size_t kMaxStoredMessages = OnlineMessageCache::kMaxMessages;

  // The service at `host` and `port`; the account through `account` (not
  // owned; it must outlive the endpoint).
  OnlineAccessClientEndpoint(OnlineAccountSource& account, std::string host, uint16_t port);
  ~OnlineAccessClientEndpoint() override;

  bool Connect(bool force);
  void Disconnect();
  void Update() override;
  uint32_t GetStatus() const { return status_; }

  void AddClient(OnlineAccessClientBase* client);
  void RemoveClient(OnlineAccessClientBase* client);
  bool HasClients() const { return !clients_.empty(); }

  void AddGroup(OnlineGroup* group);
  void RemoveGroup(OnlineGroup* group);

  int SendMessage(const std::string& userName, const Soup& body, bool modified, const KUID& kuid);
  int SendGroupMessage(const std::string& cookie, const Soup& body, const KUID& kuid);
  uint32_t SendCreateGroup(uint32_t mode);
  void SendOpenGroup(const Kiv::PString& cookie, uint32_t mode);
  void SendLeaveGroup(const Kiv::PString& cookie);
  void SendGroupUser(const Kiv::PString& cookie, uint8_t operation, const std::string& userName);
  void SendSetGroupModeFlags(const Kiv::PString& cookie, uint32_t a, uint32_t b);
  void SendSetGroupUserModeFlags(const Kiv::PString& cookie, const std::string& userName,
                                 uint32_t a, uint32_t b);

  void SaveStoredMessages(TStream& stream) const;
  // Replaces the stored messages by the stream's, unless the stream is of
  // another version (see OnlineMessageCache::Read).
  OnlineMessageCache::ReadResult LoadStoredMessages(TStream& stream);
  const OnlineMessageCache::MessageList& StoredMessages() const { return stored_; }

  double BytesPerMinute() const { return bytesPerMinute_; }
  double BytesPerHour() const { return bytesPerHour_; }
  TMESocket& Socket() { return socket_; }

 protected:
  void HandlePacket(TMEPacket& packet) override;
  void OnDisconnected() override;

 private:
  void SendHello(const std::string& userName);
  void SendCredential();
  // Queues a built packet; a refused one is dropped. False when refused.
  bool Queue(std::unique_ptr<TMEPacket> packet);
  int SendLimited(std::unique_ptr<TMEPacket> packet, const std::string& addressee);
  void FinishWebLogin(uint32_t result);

  void HandleChannelKey(WireReader& reader);
  void HandleLoginResult(uint8_t type, WireReader& reader);
  void HandleMessage(uint8_t type, WireReader& reader);
  void Deliver(std::unique_ptr<OnlineMessage> message);
  void HandleGroupPacket(uint8_t type, WireReader& reader);
  OnlineGroup* FindGroupByCookie(const Kiv::PString& cookie);

  OnlineAccountSource& account_;
  std::string host_;
  uint16_t port_;
  TMEPeer peer_;
  TMESocket socket_;
  std::vector<OnlineGroup*> groups_;
  double bytesPerMinute_ = kDefaultBytesPerMinute;
  double bytesPerHour_ = kDefaultBytesPerHour;
  double retryDelay_ = 0.0;
  uint32_t status_ = kStatusNotConnected;
  double lastUpdateTime_ = 0.0;
  double minuteCounter_ = 0.0;
  double hourCounter_ = 0.0;
  bool webLoginPending_ = false;
  uint32_t groupRequestCounter_ = 0;
  std::string credential_;
  OnlineMessageCache::MessageList stored_;
  std::vector<OnlineAccessClientBase*> clients_;
};
