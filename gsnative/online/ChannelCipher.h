// ChannelCipher: the byte stream cipher of the online service's packet
// channel.
//
// This is the service's wire contract, NOT a security measure: half of the
// key material (the client token) travels in clear in the hello packet and
// the pad is predictable. It keeps payloads from being plain text on the
// wire and nothing more; it must stay exactly as it is to talk to the
// service.
//
// Key material: the client token followed by the channel key for sending,
// the channel key followed by the token for receiving. For a byte at state
// s the key byte is material[(s / 13) mod length] rotated right by
// ((s / 7) mod 8) bits, the pad is ((s mod 256) + key byte) mod 256, the
// byte is XORed with the pad, and the state grows by the enciphered byte
// (modulo 2^32), in both directions.
//
// Threads: none kept; the caller owns the state word.
#pragma once

#include <cstdint>
#include <string_view>

namespace ChannelCipher {

// Enciphers `n` bytes in place from `state`, which is advanced.
void Encipher(std::string_view material, uint32_t& state, uint8_t* bytes, uint32_t n);
// Deciphers `n` bytes in place from `state`, which is advanced.
void Decipher(std::string_view material, uint32_t& state, uint8_t* bytes, uint32_t n);

}  // namespace ChannelCipher
