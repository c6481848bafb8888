// FaultySocket: a TMESocket whose outgoing datagrams can be lost, sent
// twice or held back behind the next one, by chance (seeded, so a run can
// be repeated) or on command, for the transport tests and the stand-in
// online server.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "gsnative/online/TMESocket.h"

class FaultySocket : public TMESocket {
 public:
  struct Odds {
    double loss = 0.0;
    double duplicate = 0.0;
    double reorder = 0.0;
  };

  explicit FaultySocket(uint32_t seed = 1) : random_(seed) {}

  void SetOdds(const Odds& odds) { odds_ = odds; }
  // The next `n` datagrams are lost / sent twice / each held back until
  // the one after it has gone.
  void DropNext(uint32_t n) { drop_ += n; }
  void DuplicateNext(uint32_t n) { duplicate_ += n; }
  void ReorderNext(uint32_t n) { reorder_ += n; }
  // Sends any held-back datagram.
  void Flush() {
    if (held_.empty()) return;
    SendNow(heldTo_, held_.data(), static_cast<uint32_t>(held_.size()));
    held_.clear();
  }

  uint64_t Lost() const { return lost_; }

  int SendDatagram(const sockaddr_in& to, const uint8_t* bytes, uint32_t length) override {
    if (drop_ > 0 || Chance(odds_.loss)) {
      if (drop_ > 0) --drop_;
      ++lost_;
      return static_cast<int>(length);
    }
    if (held_.empty() && (reorder_ > 0 || Chance(odds_.reorder))) {
      if (reorder_ > 0) --reorder_;
      held_.assign(bytes, bytes + length);
      heldTo_ = to;
      return static_cast<int>(length);
    }
    const int sent = SendNow(to, bytes, length);
    if (duplicate_ > 0 || Chance(odds_.duplicate)) {
      if (duplicate_ > 0) --duplicate_;
      SendNow(to, bytes, length);
    }
    Flush();
    return sent;
  }

 private:
  bool Chance(double odds) {
    return odds > 0.0 && std::uniform_real_distribution<double>(0.0, 1.0)(random_) < odds;
  }

  std::mt19937 random_;
  Odds odds_;
  uint32_t drop_ = 0;
  uint32_t duplicate_ = 0;
  uint32_t reorder_ = 0;
  uint64_t lost_ = 0;
  std::vector<uint8_t> held_;
  sockaddr_in heldTo_{};
};
