// One-character UTF-8 decoding.
//
// DecodeUtf8Char(text, available, outLength) answers the code point of the
// sequence that starts at `text` and, when `outLength` is not null, stores
// the number of bytes it took. At most `available` bytes are read.
//
// Decoding follows the tables of the Unicode consortium's reference
// converter: the lead byte gives the number of trailing bytes (none for
// 0x00-0xBF, 1 for 0xC0-0xDF, 2 for 0xE0-0xEF, 3 for 0xF0-0xF7); the bytes
// are accumulated six bits at a time and a fixed offset is subtracted. The
// trailing bytes are not otherwise validated, so a stray continuation byte
// decodes to its own value and overlong forms decode to the character they
// spell, as they always have.
//
// Bounded decoding (callers used to be able to run past a string's end):
//   - a sequence whose trailing bytes would lie beyond `available`, or that
//     meets a NUL before its end, gives U+FFFD with a length of 1;
//   - lead bytes 0xF8-0xFF (the old five- and six-byte forms) give U+FFFD
//     with a length of 1 and read nothing more;
//   - a null `text` or an `available` of 0 gives 0 with a length of 0.
// So a caller that advances by the length always makes progress while bytes
// remain, and never steps past `available`.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kUtf8ReplacementChar = 0xFFFD;

uint32_t DecodeUtf8Char(const char* text, size_t available, int* outLength);
