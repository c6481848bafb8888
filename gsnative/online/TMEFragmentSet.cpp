#include "gsnative/online/TMEFragmentSet.h"

#include "foundation/stream/TMEPacket.h"

TMEFragmentSet::AddResult TMEFragmentSet::Add(uint8_t header, const uint8_t* bytes,
                                              uint32_t length) {
  const uint32_t number = header & 0x7Fu;
  const bool last = (header & 0x80u) != 0;
  if (number > kMaxFragmentNumber || length > kMaxFragmentBytes) return AddResult::kRefused;
  if (count_ != 0 && number >= count_) return AddResult::kRefused;
  if (last && count_ != 0 && count_ != number + 1) return AddResult::kRefused;
  if (last && pieces_.size() > number + 1) {
    for (size_t later = number + 1; later < pieces_.size(); ++later) {
      if (has_[later]) return AddResult::kRefused;
    }
  }
  if (has_[number]) return AddResult::kDuplicate;
  if (bytes_ + length > kMaxSetBytes) return AddResult::kOverflow;
  if (last) count_ = static_cast<uint8_t>(number + 1);
  if (pieces_.size() <= number) pieces_.resize(number + 1);
  pieces_[number].assign(bytes, bytes + length);
  has_[number] = true;
  ++present_;
  bytes_ += length;
  return AddResult::kStored;
}

bool TMEFragmentSet::IsComplete() const { return count_ != 0 && present_ == count_; }

void TMEFragmentSet::Assemble(TMEPacket& packet) const {
  for (uint32_t i = 0; i < count_; ++i) {
    const std::vector<uint8_t>& piece = pieces_[i];
    if (!piece.empty()) packet.Write(piece.data(), static_cast<uint32_t>(piece.size()));
  }
}
