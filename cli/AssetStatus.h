// The "status" command: one line about one asset on standard output.
//
// PrintAssetStatus(kuid, log) asks the daemon for the asset's information
// record (all parts). When a reply of the line's requests was cut off with
// the connection (AssetStatusQuery::Answer), it prints nothing and adds
// nothing to `log` (the dispatcher adds that the connection was lost), and
// answers false: a line is built only from replies that arrived whole.
// When the daemon does not answer otherwise, or answers that it does not
// know the asset (the record's flagE clear), it adds the error
// "Unknown AssetID." (subject: the KUID as "AssetID") to `log`, prints
// nothing and answers false. Otherwise it prints
//   "+ <tag form> : <EIADLMF> : <category> : <user name>"
// and a line end to standard output, and answers true. Each letter is upper
// case when its flag is set: E open for edit, I installed locally, A
// archived, D on the download service, L locally modified (all from the
// record's status bits), M missing dependencies and F faulty (each from a
// further presence request, counted as set when its reply cannot be read). The
// line itself does not go into the log; it is printed with PrintResultLine
// (assetdb/protocol/ResultsPrinter.h), so a category or user name that
// holds control characters still gives one line.
//
// StatusCommand is the command word: the first argument (lower-cased) is the
// KUID, parsed strictly; when it is absent or empty the error "Missing
// AssetID parameter." is added. Status 0 when the line was printed, else -1.
#pragma once

#include <cstdint>

#include "foundation/text/KUID.h"
#include "kiv/String.h"

class ResultsLog;
struct AssetRecord;

// The line without the leading "+ ": tag form, flag letters, category and
// user name; `missingDependencies` and `faulty` are the two extra flags.
Kiv::String FormatAssetStatusLine(const KUID& kuid, const AssetRecord& record,
                                  bool missingDependencies, bool faulty);

bool PrintAssetStatus(const KUID& kuid, ResultsLog& log);
