// Saving and restoring the keyword texts of the asset database.
//
// BackupKeywords searches every asset the daemon knows (an empty filter
// group) and saves one text tag per asset, in the order of the search
// answer: the tag's name is the KUID's tag form ("<kuid:U:C>" or
// "<kuid2:U:C:V>"), its value the asset's keyword text as the daemon gives it
// (empty too). The file is written in the named soup form whatever its
// extension; only "txt" (the text form) is known, any other form answers
// false. The soup goes first to a temporary copy beside the target of
// this process's own (the extension replaced by the process id and "tmp",
// "KeywordsBackup.<pid>.tmp"), which must reach the disk before it is
// renamed over the target: a failed save leaves an existing file as it was
// and answers false, and two saves at once each write a whole file.
//
// ImportKeywords loads such a file and sends, for each root tag in order,
// the one-way keyword request (0x36) with the tag's name parsed as a KUID
// (not strictly: a name that is no KUID is sent with the null KUID) and the
// tag's value as text, then waits for the daemon to have stored them
// (VADClient::AwaitPosted), so that nothing of the import is still running
// in the daemon when it returns. A name whose KUID a request cannot carry
// as it is (KUIDReadsBack fails: a user id beyond -16777216..16777215)
// names no asset the database can hold: its tag sends nothing, so it never
// reaches the asset that the request would wrap it into. It answers false when the file cannot be
// loaded or is damaged, and also when a request could not be delivered or
// the daemon went away before it answered (the remaining tags are then not
// sent). The daemon's own refusals are not reported back (the requests are
// one-way).
//
// `location` names a content location; empty opens `fileName` as a path
// (relative ones from the working directory). Neither writes a message.
//
// The command words: "backupkeywords" writes "KeywordsBackup.dat" in the
// working directory (the program's folder); "importkeywords" reads
// "KeywordsDump.dat" from the installation folder (so a backup is restored
// by copying it there under that name). Both answer 0, or -1 on failure
// with an error naming the file: the dump file that was not found or could
// not be imported, or the backup that could not be saved.
#pragma once

#include <cstdint>

#include "cli/EngineObjects.h"
#include "kiv/PString.h"
#include "kiv/String.h"

bool BackupKeywords(const Kiv::PString& location, const Kiv::String& fileName,
                    const Kiv::String& formName);
bool ImportKeywords(const Kiv::PString& location, const Kiv::String& fileName,
                    const Kiv::String& formName);

int32_t BackupKeywordsCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t ImportKeywordsCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
