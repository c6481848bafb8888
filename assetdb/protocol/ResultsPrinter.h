// The results printer: writes a command's results log for the user and for
// the scripts that drive the tool. The form is fixed:
//
//   <prefix><KUID tag> : <text>        one line per message, in order
//   OK (<e> Errors, <w> Warnings)      always, also when there are errors
//
// Prefix by severity: 1 "; ", 2 "! ", 3 "- ", 4 "+ ", any other "". The KUID
// tag is the subject's value text parsed as a KUID (non-strictly) and written
// as "<kuid:U:C>", "<kuid2:U:C:V>" or "<NULL>"; a message without a subject,
// or whose subject is not a KUID, shows "<NULL>". The text is shown as
// CopyResultLine gives it, so one message prints as one line; only a line
// feed that ends the text prints as the end of its line, so an empty line
// follows it (the dispatcher's "Invalid argument" text ends so). e and w count
// the printed messages of severity 3 and 2 (the log's own counters are not
// used). Each line ends with std::endl (flushed), so a driving script sees
// it at once.
//
// PrintCommandResults holds the log's lock from the first line to the
// summary, so messages that other threads add meanwhile wait; it marks the
// log viewed. The stream defaults to standard output.
//
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
// once, where it is printed; the commands add texts to the log unescaped.
//
// PrintResultLine writes one line of an answer that a command prints
// itself rather than through its log (the status line, the folder of
// "edit", a name of "authors"): CopyResultLine of `line`, then a line end,
// on standard output.
#pragma once

#include <iosfwd>

#include "kiv/String.h"

class ResultsLog;

void PrintCommandResults(ResultsLog& log, std::ostream& out);
void PrintCommandResults(ResultsLog& log);
void PrintResultLine(const Kiv::String& line);

Kiv::String CopyResultLine(const Kiv::String& text);
