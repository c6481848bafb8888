// Decoder of LZSS coded streams (stored, flag-word and adaptive Huffman).
//
// LZSSDecode(src, n, dst, capacity) decodes the coded stream of `n` bytes at
// `src` (header byte included) into `dst` and answers the number of decoded
// bytes, or kLZSSFailed. It fails for an empty input, an undefined window
// variant, a truncated item (a flag word, length byte, distance or literal
// run that runs past the input), a match of distance 0 or reaching before the
// start of the output, a Huffman stream whose bits run out before its end
// symbol (or that codes the never-used literal symbol 273), and any output
// beyond `capacity`. A stored stream with no bytes decodes to 0 bytes. A
// flag-word stream may end after any whole item: the flag bits after its
// last item are not looked at (a caller compares the decoded count with the
// size it stored).
//
// It never reads past src + n nor writes past dst + capacity, allocates only
// the two small Huffman trees, and runs in time linear in n plus the output.
// Bytes written before a failure stay in `dst`; the caller discards them.
// Matches are copied in blocks of up to 16 bytes where the room allows, so
// bytes past the decoded count (never past capacity) may change as well.
// Pure function of its arguments; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int64_t kLZSSFailed = -1;

int64_t LZSSDecode(const void* src, size_t n, void* dst, size_t capacity);
