#include "gsnative/online/TMEEndpoint.h"

#include <vector>

#include "foundation/base/ProgramClock.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/online/ChannelCipher.h"
#include "gsnative/online/TMESocket.h"
#include "kiv/Rand.h"

namespace {

constexpr double kRetransmitDelays[] = {2.0, 2.0, 4.0, 16.0, 32.0, 64.0};

// The number `steps` after `seq` in the cycle 1..255.
uint8_t Advance(uint8_t seq, uint32_t steps) {
  uint32_t value = seq + steps;
  while (value > 255) value -= 255;
  return static_cast<uint8_t>(value);
}

}  // namespace

TMEEndpoint::TMEEndpoint() = default;

TMEEndpoint::~TMEEndpoint() {
  // The derived part is gone: close without calling it back.
  Detach();
}

std::vector<uint32_t> TMEEndpoint::FragmentSizes(uint32_t size) {
  uint32_t pieces = (size + kFragmentBytes - 1) / kFragmentBytes;
  if (pieces == 0) pieces = 1;
  if (pieces > kMaxFragments) return {};
  std::vector<uint32_t> sizes;
  uint32_t remaining = size;
  for (uint32_t left = pieces; left > 0; --left) {
    const uint32_t piece = remaining / left;
    sizes.push_back(piece);
    remaining -= piece;
  }
  return sizes;
}

double TMEEndpoint::RetransmitDelay(uint32_t sendCount) {
  return sendCount < 6 ? kRetransmitDelays[sendCount] : kRetransmitDelays[5];
}

const std::string& TMEEndpoint::GetClientToken() {
  if (token_.empty()) {
    for (int i = 0; i < 8; ++i) {
      token_.push_back(static_cast<char>(Kiv::Rand::Program().NextInt(0, 254) + 1));
    }
  }
  return token_;
}

bool TMEEndpoint::SetChannelKey(const std::string& key) {
  key_ = key;
  sendState_ = 0;
  receiveState_ = 0;
  if (key_.size() >= 8) return true;
  key_.clear();
  return false;
}

std::string TMEEndpoint::SendMaterial() { return GetClientToken() + key_; }
std::string TMEEndpoint::ReceiveMaterial() { return key_ + GetClientToken(); }

void TMEEndpoint::Reset(TMEPeer* peer) {
  Close();
  const double now = ProgramClock::Seconds();
  lastSendTime_ = now;
  lastReceiveTime_ = now;
  nextSend_ = 1;
  expected_ = 1;
  lastReceived_ = 0;
  lastAckSent_ = 0;
  peer_ = peer;
  peer->SetCallback(&TMEEndpoint::ReceiveDatagram, this);
}

bool TMEEndpoint::SendPacket(TMEPacket* packet) {
  if (peer_ == nullptr || queue_.size() > kMaxQueued || packet->PayloadSize() > kMaxPayload) {
    ++stats_.refusedSends;
    return false;
  }
  if (HasChannelKey()) {
    ChannelCipher::Encipher(SendMaterial(), sendState_, packet->Payload(), packet->PayloadSize());
  }
  queue_.emplace_back(packet);
  hasQueued_ = true;
  return true;
}

void TMEEndpoint::Close() {
  Detach();
  ++epoch_;
  OnDisconnected();
}

void TMEEndpoint::Detach() {
  if (peer_ != nullptr) {
    PumpQueue();
    TransmitUnsequenced(0, true);
    peer_->SetCallback(nullptr, nullptr);
    peer_ = nullptr;
  }
  DropAll();
}

void TMEEndpoint::DropAll() {
  for (auto& held : reorder_) held.reset();
  reorderCount_ = 0;
  inFlight_.clear();
  queue_.clear();
  hasQueued_ = false;
  for (auto& set : fragments_) set.reset();
  fragmentSetCount_ = 0;
}

void TMEEndpoint::Update() {
  if (peer_ == nullptr) return;
  const double now = ProgramClock::Seconds();
  for (auto& packet : inFlight_) {
    if (now - packet->lastSendTime <= RetransmitDelay(packet->sendCount)) continue;
    if (packet->sendCount < kMaxSendCount) {
      ++stats_.retransmissions;
      Transmit(*packet);
    } else {
      Close();
    }
    return;
  }
  PumpQueue();
  const bool ackDue = lastReceived_ != lastAckSent_ && now - lastSendTime_ > kAckDelay;
  if (ackDue || now - lastSendTime_ > kKeepAlive) {
    TransmitUnsequenced(0, false);
    return;
  }
  if (now - lastReceiveTime_ > kSilence) Close();
}

void TMEEndpoint::PumpQueue() {
  while (inFlight_.size() < kWindow && !queue_.empty()) {
    std::unique_ptr<TMEPacket> packet = std::move(queue_.front());
    queue_.pop_front();
    packet->seq = nextSend_;
    nextSend_ = NextSequence(nextSend_);
    const bool sent = Transmit(*packet);
    inFlight_.push_back(std::move(packet));
    if (!sent) break;
  }
  hasQueued_ = !queue_.empty();
}

void TMEEndpoint::TransmitUnsequenced(uint8_t noticeByte, bool withNotice) {
  TMEPacket packet;
  if (withNotice) packet.Write(&noticeByte, 1);
  Transmit(packet);
}

bool TMEEndpoint::Transmit(TMEPacket& packet) {
  if (peer_ == nullptr) return false;
  const double now = ProgramClock::Seconds();
  ++packet.sendCount;
  packet.lastSendTime = now;
  packet.ack = lastReceived_;
  bool sent = false;
  if (packet.seq == 0 || fragmentMode_ == kModeWhole) {
    std::vector<uint8_t> datagram{packet.seq, packet.ack};
    datagram.insert(datagram.end(), packet.Payload(), packet.Payload() + packet.PayloadSize());
    sent = SendRaw(datagram.data(), static_cast<uint32_t>(datagram.size()));
  } else {
    sent = TransmitFragments(packet);
  }
  if (!sent) {
    ++stats_.failedTransmits;
    return false;
  }
  lastSendTime_ = now;
  lastAckSent_ = lastReceived_;
  return true;
}

bool TMEEndpoint::TransmitFragments(const TMEPacket& packet) {
  const std::vector<uint32_t> sizes = FragmentSizes(packet.PayloadSize());
  if (sizes.empty()) return false;
  const uint8_t* at = packet.Payload();
  std::vector<uint8_t> datagram;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const bool last = i + 1 == sizes.size();
    datagram.assign({packet.seq, packet.ack, static_cast<uint8_t>(i | (last ? 0x80u : 0u))});
    datagram.insert(datagram.end(), at, at + sizes[i]);
    at += sizes[i];
    if (!SendRaw(datagram.data(), static_cast<uint32_t>(datagram.size()))) return false;
  }
  return true;
}

bool TMEEndpoint::SendRaw(const uint8_t* bytes, uint32_t length) {
  TMESocket* socket = peer_->Socket();
  if (socket == nullptr) return false;
  return socket->SendDatagram(peer_->Address(), bytes, length) == static_cast<int>(length);
}

void TMEEndpoint::ReceiveDatagram(void* context, const uint8_t* bytes, uint32_t length) {
  static_cast<TMEEndpoint*>(context)->Receive(bytes, length);
}

void TMEEndpoint::Receive(const uint8_t* bytes, uint32_t length) {
  if (length == 0 || peer_ == nullptr) return;
  if (fragmentMode_ == kModeWhole || bytes[0] == 0) {
    if (length < 2) {
      ++stats_.malformed;
      return;
    }
    auto packet = std::make_unique<TMEPacket>();
    packet->seq = bytes[0];
    packet->ack = bytes[1];
    if (length - 2 > kMaxPayload) {
      ++stats_.malformed;
      return;
    }
    packet->Write(bytes + 2, length - 2);
    TStreamRewind(*packet);
    HandleReceived(std::move(packet));
    return;
  }
  if (length < 3) {
    ++stats_.malformed;
    return;
  }
  ApplyAck(bytes[1]);
  ReceiveFragment(bytes, length);
}

void TMEEndpoint::ReceiveFragment(const uint8_t* bytes, uint32_t length) {
  const uint8_t seq = bytes[0];
  if (IsBehind(seq, expected_)) {
    HandleDuplicate(seq);
    return;
  }
  if (reorder_[seq]) {
    ++stats_.duplicates;
    return;
  }
  std::unique_ptr<TMEFragmentSet>& set = fragments_[seq];
  if (!set) {
    set = std::make_unique<TMEFragmentSet>();
    ++fragmentSetCount_;
  }
  switch (set->Add(bytes[2], bytes + 3, length - 3)) {
    case TMEFragmentSet::AddResult::kRefused:
      ++stats_.malformed;
      return;
    case TMEFragmentSet::AddResult::kOverflow:
      ++stats_.fragmentSetsDropped;
      DropFragmentSet(seq);
      return;
    case TMEFragmentSet::AddResult::kDuplicate:
      ++stats_.duplicates;
      return;
    case TMEFragmentSet::AddResult::kStored:
      break;
  }
  if (!set->IsComplete()) return;
  auto packet = std::make_unique<TMEPacket>();
  packet->seq = seq;
  set->Assemble(*packet);
  TStreamRewind(*packet);
  DropFragmentSet(seq);
  HandleReceived(std::move(packet));
}

void TMEEndpoint::DropFragmentSet(uint8_t seq) {
  if (!fragments_[seq]) return;
  fragments_[seq].reset();
  --fragmentSetCount_;
}

void TMEEndpoint::DropHeld(uint8_t seq) {
  if (!reorder_[seq]) return;
  reorder_[seq].reset();
  --reorderCount_;
}

void TMEEndpoint::ApplyAck(uint8_t ack) {
  if (ack == 0 || inFlight_.empty()) return;
  // An acknowledgement of numbers never sent is forged or damaged.
  if (IsBehind(inFlight_.back()->seq, ack)) {
    ++stats_.malformed;
    return;
  }
  while (!inFlight_.empty() && static_cast<int8_t>(inFlight_.front()->seq - ack) <= 0) {
    std::unique_ptr<TMEPacket> done = std::move(inFlight_.front());
    inFlight_.pop_front();
    if (done->attachment != nullptr) OnAcknowledged(done->attachment);
  }
}

void TMEEndpoint::HandleDuplicate(uint8_t seq) {
  ++stats_.duplicates;
  if (static_cast<int8_t>(seq - lastAckSent_) <= 0) lastAckSent_ = 0;
}

void TMEEndpoint::HandleReceived(std::unique_ptr<TMEPacket> packet) {
  if (packet->PayloadSize() > kMaxPayload) {
    ++stats_.malformed;
    return;
  }
  ApplyAck(packet->ack);
  const uint8_t seq = packet->seq;
  if (seq == 0) {
    if (packet->PayloadSize() == 0) {
      lastReceiveTime_ = ProgramClock::Seconds();
    } else if (packet->PayloadSize() == 1) {
      Close();
    } else {
      ++stats_.malformed;
    }
    return;
  }
  if (seq == expected_) {
    DeliverInOrder(std::move(packet));
    return;
  }
  if (IsBehind(seq, expected_)) {
    HandleDuplicate(seq);
    return;
  }
  if (reorder_[seq] || reorderCount_ >= kReorderLimit) {
    ++stats_.reorderDropped;
    return;
  }
  reorder_[seq] = std::move(packet);
  ++reorderCount_;
}

void TMEEndpoint::DeliverInOrder(std::unique_ptr<TMEPacket> packet) {
  const uint32_t epoch = epoch_;
  while (packet) {
    if (lastReceived_ == lastAckSent_) lastSendTime_ = ProgramClock::Seconds();
    lastReceived_ = expected_;
    if (HasChannelKey()) {
      ChannelCipher::Decipher(ReceiveMaterial(), receiveState_, packet->Payload(),
                              packet->PayloadSize());
    }
    HandlePacket(*packet);
    packet.reset();
    ++stats_.packetsDelivered;
    if (epoch != epoch_ || peer_ == nullptr) return;
    expected_ = NextSequence(expected_);
    const uint8_t farthest = Advance(expected_, 127);
    DropFragmentSet(farthest);
    DropHeld(farthest);
    if (reorder_[expected_]) {
      packet = std::move(reorder_[expected_]);
      --reorderCount_;
    }
  }
  lastReceiveTime_ = ProgramClock::Seconds();
}
