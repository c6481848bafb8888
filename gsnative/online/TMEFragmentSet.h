// TMEFragmentSet: the fragments of one sequenced packet, gathered until the
// packet is whole.
//
// Datagrams are untrusted, so a set is bounded: a fragment number above
// kMaxFragmentNumber, a fragment longer than kMaxFragmentBytes, a number at
// or past a known count, or a second "last" fragment that disagrees is
// refused (Add answers kRefused); a set whose bytes pass kMaxSetBytes can
// never become a deliverable packet and answers kOverflow (the caller drops
// it). Presence is kept apart from size, so an empty fragment counts as
// present. A fragment already held is ignored (kDuplicate).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

class TMEPacket;

class TMEFragmentSet {
 public:
  static constexpr uint32_t kMaxFragmentNumber = 126;
  static constexpr uint32_t kMaxFragmentBytes = 1469;
  static constexpr uint32_t kMaxSetBytes = 65536;

  enum class AddResult { kStored, kDuplicate, kRefused, kOverflow };

  // `header` is byte 2 of the datagram: the fragment number, bit 7 set on
  // the last fragment.
  AddResult Add(uint8_t header, const uint8_t* bytes, uint32_t length);
  // The count is known and every fragment 0..count-1 is present.
  bool IsComplete() const;
  // Appends the fragments in order to `packet`'s payload.
  void Assemble(TMEPacket& packet) const;
  uint32_t Bytes() const { return bytes_; }

 private:
  uint8_t count_ = 0;  // 0 until the last fragment has been seen
  uint32_t present_ = 0;
  uint32_t bytes_ = 0;
  std::array<bool, kMaxFragmentNumber + 1> has_{};
  std::vector<std::vector<uint8_t>> pieces_;
};
