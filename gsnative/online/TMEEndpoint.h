// TMEEndpoint: a reliable, ordered, optionally enciphered packet channel to
// one TMEPeer over UDP.
//
// The owner drives it: it polls the socket (TMESocket::Poll) and calls
// Update from its own periodic update, on one thread; nothing here has a
// thread or blocks. Time is the program clock (foundation/base/
// ProgramClock.h), so tests move the timers with a frozen clock.
//
// Sending: SendPacket queues a packet (taking it) and enciphers its payload
// when a channel key is set. It refuses (answering false, leaving the packet
// the caller's and the cipher state untouched) when not connected or when
// more than kMaxQueued packets wait. Up to kWindow packets are in flight;
// each gets the next sequence number (1..255, then 1) and goes out whole
// (mode 0) or cut into at most kMaxFragments fragments of at most
// kFragmentBytes (mode 1), the larger pieces last. Unacknowledged packets
// are sent again 2, 4, 16 and 32 seconds apart; 64 seconds after the fifth
// sending the endpoint closes. Acknowledgements are cumulative, carried in
// byte 1 of every datagram; a lone one goes out 1 second after an
// unacknowledged arrival, a keep-alive after 30 seconds without sending.
// 300 seconds without receiving anything closes the endpoint.
//
// A payload over kMaxPayload, which no receiver accepts, is refused by
// SendPacket too (it would otherwise be sent again and again until the
// endpoint gave up and closed).
//
// Receiving: every datagram is untrusted. Too short, a payload over
// kMaxPayload, an acknowledgement of numbers never sent, a fragment that
// does not fit its set (TMEFragmentSet), or a packet ahead of the expected
// number when kReorderLimit are held: each is dropped and counted
// (Stats()). Fragment sets exist only for numbers within the 128 ahead of
// the expected one and are bounded in bytes, so what a peer can make the
// endpoint hold is bounded. Packets are handed to HandlePacket exactly once
// each, in sequence order, deciphered.
//
// Closing (Close, a disconnect notice, the last retransmission, silence):
// a connected endpoint first pumps its queue and sends the disconnect
// notice; then every held packet is deleted and OnDisconnected runs.
//
// Ownership: the peer is not owned. HandlePacket may send, set the key or
// close the endpoint.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>
#include <memory>
#include <string>

#include "foundation/stream/TMEPacket.h"
#include "gsnative/online/TMEFragmentSet.h"
#include "gsnative/online/TMEPeer.h"

struct TMEEndpointStats {
  uint64_t packetsDelivered = 0;
  uint64_t retransmissions = 0;
  uint64_t refusedSends = 0;       // SendPacket answered false
  uint64_t duplicates = 0;         // sequenced packets received again
  uint64_t malformed = 0;          // too short, oversized, bad fragment or ack
  uint64_t reorderDropped = 0;     // ahead of order with the store full or held
  uint64_t fragmentSetsDropped = 0;
  uint64_t failedTransmits = 0;    // sendto failed or was short
};

class TMEEndpoint {
 public:
  static constexpr uint32_t kFragmentBytes = 1469;
  static constexpr uint32_t kMaxFragments = 127;
  static constexpr uint32_t kMaxPayload = 65536;
  static constexpr uint32_t kWindow = 60;
  static constexpr uint32_t kMaxQueued = 1000;
  static constexpr uint32_t kReorderLimit = 128;
  static constexpr uint32_t kMaxSendCount = 5;
  static constexpr double kAckDelay = 1.0;
  static constexpr double kKeepAlive = 30.0;
  static constexpr double kSilence = 300.0;
  static constexpr uint32_t kModeWhole = 0;
  static constexpr uint32_t kModeFragment = 1;

  TMEEndpoint();
  TMEEndpoint(const TMEEndpoint&) = delete;
  TMEEndpoint& operator=(const TMEEndpoint&) = delete;
  virtual ~TMEEndpoint();

  virtual void Update();
  // Each packet delivered in order; the endpoint deletes it afterwards.
  virtual void HandlePacket(TMEPacket& packet) = 0;
  virtual void OnDisconnected() {}
  virtual void OnAcknowledged(void* /*attachment*/) {}

  // Eight bytes, each 1..255, drawn on first use from the program's
  // generator.
  const std::string& GetClientToken();
  // False (and the key emptied) for a key shorter than 8 characters; both
  // cipher states restart at 0 either way.
  bool SetChannelKey(const std::string& key);
  bool HasChannelKey() const { return key_.size() >= 8; }

  void Reset(TMEPeer* peer);
  bool SendPacket(TMEPacket* packet);
  void Close();
  bool IsConnected() const { return peer_ != nullptr; }

  void SetFragmentMode(uint32_t mode) { fragmentMode_ = mode; }
  uint32_t FragmentMode() const { return fragmentMode_; }
  bool HasQueuedPackets() const { return hasQueued_; }
  size_t QueuedCount() const { return queue_.size(); }
  size_t InFlightCount() const { return inFlight_.size(); }
  size_t ReorderCount() const { return reorderCount_; }
  size_t FragmentSetCount() const { return fragmentSetCount_; }
  const TMEEndpointStats& Stats() const { return stats_; }

  // The datagram handler registered with the peer.
  static void ReceiveDatagram(void* context, const uint8_t* bytes, uint32_t length);
  void Receive(const uint8_t* bytes, uint32_t length);

  // The sizes of the pieces a payload of `size` bytes is cut into (empty
  // when it needs more than kMaxFragments).
  static std::vector<uint32_t> FragmentSizes(uint32_t size);
  // The delay before a packet sent `sendCount` times is handled again.
  static double RetransmitDelay(uint32_t sendCount);
  static uint8_t NextSequence(uint8_t seq) { return seq == 255 ? 1 : static_cast<uint8_t>(seq + 1); }
  static bool IsBehind(uint8_t a, uint8_t b) { return static_cast<int8_t>(a - b) < 0; }

 private:
  bool Transmit(TMEPacket& packet);
  bool TransmitFragments(const TMEPacket& packet);
  bool SendRaw(const uint8_t* bytes, uint32_t length);
  void TransmitUnsequenced(uint8_t noticeByte, bool withNotice);
  void PumpQueue();
  void ApplyAck(uint8_t ack);
  void ReceiveFragment(const uint8_t* bytes, uint32_t length);
  void HandleReceived(std::unique_ptr<TMEPacket> packet);
  void HandleDuplicate(uint8_t seq);
  void DeliverInOrder(std::unique_ptr<TMEPacket> packet);
  void DropFragmentSet(uint8_t seq);
  void DropHeld(uint8_t seq);
  // Sends what is queued and the closing packet, lets go of the peer
  // without calling back, and drops every held fragment.
  void Detach();
  void DropAll();
  std::string SendMaterial();
  std::string ReceiveMaterial();

  uint8_t nextSend_ = 1;
  uint8_t expected_ = 1;
  uint8_t lastReceived_ = 0;
  uint8_t lastAckSent_ = 0;
  double lastSendTime_ = 0.0;
  double lastReceiveTime_ = 0.0;
  std::array<std::unique_ptr<TMEPacket>, 256> reorder_;
  size_t reorderCount_ = 0;
  std::deque<std::unique_ptr<TMEPacket>> inFlight_;
  std::deque<std::unique_ptr<TMEPacket>> queue_;
  TMEPeer* peer_ = nullptr;
  uint32_t fragmentMode_ = kModeWhole;
  bool hasQueued_ = false;
  std::array<std::unique_ptr<TMEFragmentSet>, 256> fragments_;
  size_t fragmentSetCount_ = 0;
  std::string token_;
  std::string key_;
  uint32_t sendState_ = 0;
  uint32_t receiveState_ = 0;
  uint32_t epoch_ = 0;  // grows at every close
  TMEEndpointStats stats_;
};
