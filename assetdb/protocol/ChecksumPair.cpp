#include "assetdb/protocol/ChecksumPair.h"

#include "kiv/String.h"

ChecksumPair ChecksumPair::Compute(const void* data, uint32_t size) {
  if (data == nullptr || size <= 4) return ChecksumPair{};
  const auto* bytes = static_cast<const uint8_t*>(data);
  const uint32_t counted = size & ~3u;
  uint32_t s = 0;
  for (uint32_t i = 0; i < counted; i += 4) {
    const uint32_t word = uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 |
                          uint32_t(bytes[i + 2]) << 16 | uint32_t(bytes[i + 3]) << 24;
    const uint32_t v = s + word;
    s = (v << 1) | (v >> 30);
  }
  if (s == 0) s = 1;
  return ChecksumPair{s, counted};
}

ChecksumPair ChecksumPair::Add(const ChecksumPair& a, const ChecksumPair& b) {
  ChecksumPair sum{a.checksum + b.checksum, a.length + b.length};
  if (sum.checksum == 0) sum.checksum = 1;
  return sum;
}

Kiv::PString ChecksumPair::ToText(const ChecksumPair& pair) {
  return Kiv::PString(Kiv::StringPrintf("%d:%d", static_cast<int32_t>(pair.length),
                                        static_cast<int32_t>(pair.checksum)));
}
