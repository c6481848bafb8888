// CopyResultLine gives a text as it is printed inside one line of an
// answer: a name, reason, path or message that came from an asset, a file
// or the daemon prints as one line, so that no asset can add lines to an
// answer or send control sequences to the terminal. The console is UTF-8 on
// this platform. The text ends at its first NUL; an empty text gives an
// empty string. Then:
//   - a text that is not valid UTF-8 (bad or missing continuation bytes,
//     overlong forms, surrogates, values above U+10FFFF) has every byte of
//     0x80 or above replaced by "?", so the output is always valid UTF-8;
//   - each control character is shown as "\xHH", the byte in two upper-case
//     hexadecimal digits: the C0 controls 0x00-0x1F (line feed "\x0A",
//     carriage return "\x0D", tab "\x09", ESC "\x1B"), DEL "\x7F", and, as
//     each of their UTF-8 bytes, the C1 controls U+0080-U+009F (NEL U+0085
//     is "\xC2\x85") and the line and paragraph separators U+2028, U+2029
//     ("\xE2\x80\xA8", "\xE2\x80\xA9");
//   - a backslash followed by "x" is shown as "\x5C", so that no text can
//     read as an escape;
//   - every other byte is copied: other characters of valid UTF-8 come out
//     unchanged, and so does every other backslash (paths written with
//     backslashes print as they always did).
// Replacing each "\xHH" of a printed text by its byte gives the text back
// (up to the "?" of a text that was not valid UTF-8). A text is escaped
// once, where it is printed: the results printer escapes each message of a
// command's log (assetdb/protocol/ResultsPrinter.h), and the script
// compiler's command line each name it puts into a line it prints.
//
// A pure function of its argument; nothing fails.
#pragma once

#include "kiv/String.h"

Kiv::String CopyResultLine(const Kiv::String& text);
