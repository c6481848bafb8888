// Code-page conversion of narrow text held in a caller's buffer.
//
// The buffer: `buffer` points at `bufferSize` bytes owned by the caller. The
// text is the bytes before the first NUL, looking at no more than
// `bufferSize` bytes (all of them when there is no NUL). Converted text is
// written back over it with a terminating NUL; bytes after that NUL are left
// as they were. Nothing is read or written outside the `bufferSize` bytes.
//
// RecodeText(buffer, bufferSize, fromCodePage, toCodePage) converts the text
// from one code page to the other and answers:
//   0       the converted text and its NUL now fill the start of the buffer;
//   n > 0   the converted text needs n bytes (its NUL included), more than
//           `bufferSize`; the buffer is unchanged;
//   -1      conversion is impossible (an unsupported code page, a null
//           buffer, or no memory): every byte of 0x80 and above in the text
//           has been replaced by "?", so what remains is plain ASCII.
//
// Code pages: CP_UTF8 (65001) is UTF-8; CP_ACP (0), the narrow "ANSI" code
// page, is taken as Windows-1252 on this platform, and 1252 is Windows-1252
// itself. No other code page is supported.
//   - Reading Windows-1252 never fails; the five bytes the code page leaves
//     undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for U+0081 and so on, so
//     every byte survives a round trip through UTF-8.
//   - Reading UTF-8, each ill-formed part (bad lead byte, missing or wrong
//     continuation bytes, overlong forms, surrogates, values above U+10FFFF)
//     becomes U+FFFD.
//   - Writing Windows-1252, a character the code page lacks becomes "?".
// None of these count as failures.
//
// Utf8ToCodePage(buffer, bufferSize, codePage) converts from UTF-8 to
// `codePage`; CodePageToUtf8(bufferSize, buffer) converts from CP_ACP to
// UTF-8 (note its argument order). Both answer as RecodeText does.
//
// All three are thread-safe; they keep no state.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr unsigned CP_ACP = 0;
constexpr unsigned CP_UTF8 = 65001;

int64_t RecodeText(char* buffer, size_t bufferSize, unsigned fromCodePage, unsigned toCodePage);
int64_t Utf8ToCodePage(char* buffer, size_t bufferSize, unsigned codePage);
int64_t CodePageToUtf8(size_t bufferSize, char* buffer);
