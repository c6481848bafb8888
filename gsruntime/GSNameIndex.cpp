#include "gsruntime/GSNameIndex.h"

namespace GSRuntime {

// The final shift brings the high bits of the products down to the low
// ones, which pick the table slot.
uint32_t GSNameIndex::Hash(std::string_view text) {
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ text.size();
  size_t at = 0;
  for (; text.size() - at >= 8; at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, text.data() + at, 8);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  }
  uint64_t tail = 0;
  for (size_t k = at; k < text.size(); ++k)
    tail |= uint64_t{static_cast<unsigned char>(text[k])} << (8 * (k - at));
  hash = (hash ^ tail) * 0xC4CEB9FE1A85EC53ull;
  return static_cast<uint32_t>(hash ^ (hash >> 29));
}

}  // namespace GSRuntime
