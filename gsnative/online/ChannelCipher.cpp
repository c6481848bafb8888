#include "gsnative/online/ChannelCipher.h"

namespace {

uint8_t Pad(std::string_view material, uint32_t state) {
  const auto key = static_cast<uint8_t>(material[(state / 13) % material.size()]);
  const uint32_t turn = (state / 7) % 8;
  const auto rotated = static_cast<uint8_t>((key >> turn) | (key << ((8 - turn) % 8)));
  return static_cast<uint8_t>((state % 256 + rotated) % 256);
}

}  // namespace

namespace ChannelCipher {

void Encipher(std::string_view material, uint32_t& state, uint8_t* bytes, uint32_t n) {
  if (material.empty()) return;
  for (uint32_t i = 0; i < n; ++i) {
    bytes[i] = static_cast<uint8_t>(bytes[i] ^ Pad(material, state));
    state += bytes[i];
  }
}

void Decipher(std::string_view material, uint32_t& state, uint8_t* bytes, uint32_t n) {
  if (material.empty()) return;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t enciphered = bytes[i];
    bytes[i] = static_cast<uint8_t>(enciphered ^ Pad(material, state));
    state += enciphered;
  }
}

}  // namespace ChannelCipher
