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
// CopyResultLine (foundation/text/ResultLine.h) gives a text as it is
// printed inside one line of an answer.
//
// PrintResultLine writes one line of an answer that a command prints
// itself rather than through its log (the status line, the folder of
// "edit", a name of "authors"): CopyResultLine of `line`, then a line end,
// on standard output.
#pragma once

#include <iosfwd>

#include "foundation/text/ResultLine.h"
#include "kiv/String.h"

class ResultsLog;

void PrintCommandResults(ResultsLog& log, std::ostream& out);
void PrintCommandResults(ResultsLog& log);
void PrintResultLine(const Kiv::String& line);
