// The results printer: writes a command's results log for the user and for
// the scripts that drive the tool. The form is fixed:
//
//   <prefix><KUID tag> : <text>        one line per message, in order
//   OK (<e> Errors, <w> Warnings)      always, also when there are errors
//
// Prefix by severity: 1 "; ", 2 "! ", 3 "- ", 4 "+ ", any other "". The KUID
// tag is the subject's value text parsed as a KUID (non-strictly) and written
// as "<kuid:U:C>", "<kuid2:U:C:V>" or "<NULL>"; a message without a subject,
// or whose subject is not a KUID, shows "<NULL>". e and w count the printed
// messages of severity 3 and 2 (the log's own counters are not used). Each
// line ends with std::endl (flushed), so a driving script sees it at once.
//
// PrintCommandResults holds the log's lock from the first line to the
// summary, so messages that other threads add meanwhile wait; it marks the
// log viewed. The stream defaults to standard output.
//
// CopyResultLine gives a message text in the console's character set. The
// console is UTF-8 on this platform: a valid UTF-8 text comes out unchanged;
// a text that is not valid UTF-8 (bad or missing continuation bytes,
// overlong forms, surrogates, values above U+10FFFF) has every byte of 0x80
// or above replaced by "?", so the output is always valid UTF-8. The text
// ends at its first NUL; an empty text gives an empty string.
#pragma once

#include <iosfwd>

#include "kiv/String.h"

class ResultsLog;

void PrintCommandResults(ResultsLog& log, std::ostream& out);
void PrintCommandResults(ResultsLog& log);

Kiv::String CopyResultLine(const Kiv::String& text);
