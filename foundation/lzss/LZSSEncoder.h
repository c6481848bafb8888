// Encoder of LZSS coded streams.
//
// LZSSEncode(src, n, level, dst, capacity) codes the `n` bytes at `src` and
// answers the size of the coded stream written to `dst`, or 0 on failure.
// The level is capped at 9 (so a negative level passed as unsigned codes at
// 9); level 0, or an input of 6 bytes or fewer, gives the stored form (header
// 0, then the bytes). Levels 1-6 use flag-word coding, 7-9 adaptive Huffman
// coding; the window variant follows from the level and the input size. The
// parse is greedy with a hash-chain match finder whose walk stops at the
// level's nice length or after the level's chain limit (4, 8, 16, 32, 64,
// 128, 64, 256 and 1024 positions for levels 1 to 9), so the time is linear
// in n for every input.
//
// When the coded form would not fit `capacity` the stored form is written
// instead, which needs n + 1 bytes: a capacity of n + 1 never fails. It fails
// (answers 0) when even the stored form does not fit, when n is 2^32 - 1 or
// more, or when its working arrays cannot be allocated. Nothing is written
// past dst + capacity.
//
// LZSSEncodeToVector(src, n, level) answers the coded stream in a vector, at
// most n + 1 bytes; an empty vector means failure (as above).
//
// Both are pure functions of their arguments; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

size_t LZSSEncode(const void* src, size_t n, uint32_t level, void* dst, size_t capacity);
std::vector<uint8_t> LZSSEncodeToVector(const void* src, size_t n, uint32_t level);
