// CRC-32 of a byte buffer and of a lower-cased text.
//
// The checksum is the reflected CRC-32 used by zlib and PNG: polynomial
// 0xEDB88320, initial value 0xFFFFFFFF, final inversion. It names cached
// script files, so its value must be stable across runs and machines.
//
// Crc32Buffer(data, length): the CRC of `length` bytes at `data`. A length of
// 0 (or a null `data`) gives 0.
//
// Crc32LowerString(text): the CRC of the bytes of the NUL-terminated `text`,
// each with "A"-"Z" folded to "a"-"z" first. Folding is plain ASCII and does
// not depend on the C locale, so a name hashes the same under every locale;
// bytes of 0x80 and above are hashed as they are. An empty or null text
// gives 0.
//
// Both are pure functions, safe to call from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t Crc32Buffer(const void* data, size_t length);
uint32_t Crc32LowerString(const char* text);
