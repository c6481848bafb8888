// The "fcyparse" command: reports on a ".cdp" archive that is to be offered
// through the download service.
//
// ParseCDPForFetchery(path, log): opens the archive ("$vad_unreadable_cdp"
// with file_path, false, when it cannot be read; CDP::NoAssetError, false,
// when it holds no asset) and installs each asset
// (InstallAssetWithPrompts, options 0). When the installs added an error,
// every installed asset is reverted (0x1E, 0x21), "Aborted processing" is
// added and the answer is false: nothing more is written. Otherwise each
// installed asset's missing dependencies are fetched from the download
// service (InstallMissingDependencies), each is committed (0x1E, 0x22),
// and then, asset by asset with its KUID as the subject: the status line
// (PrintAssetStatus), the validation (ValidateAsset), information messages
// ("Name: ", "Description: ", "Vandru-build: ", "Dependencies: ",
// "Obsoletes: ", then "kind: ", "alias-kuid: ", "category-region: ",
// "category-era: ", "category-class: "), the asset alone written to
// "<archive folder>/<kuid keyword form>.cdp" (WriteAssetToCDP) and a ".jpg"
// thumbnail beside it: the asset's own ".jpg" file (request 0x1D, 0xF0)
// when it has one, else the archive's "thumbnail" data. True when the
// archive was processed.
//
// InstallMissingDependencies(kuid): asks the download service for each
// dependency (request 0x2A) in order; when the query for the last one
// installed something, the pass is made again, at most
// kMaxDependencyPasses times, so a service that keeps answering true cannot
// hold the command for ever.
//
// WriteAssetToCDP(kuid, path, log): the asset's entry (request 0x30, parts
// 3) with its "dsid", alone in an archive written to `path`; "Unable to
// write asset to CDP: <reason>" and false when the write fails.
//
// EscapeLineBreaks: CR, LF, CR LF and LF CR each become "\n" (backslash,
// n), a backslash becomes two. KUIDListToText: tag forms joined by ", ".
//
// FcyParseCommand: slot 2 is the archive path, taken from the start
// directory when relative ("Missing CDP filepath." without it); 0 when
// ParseCDPForFetchery answers true, else -1.
#pragma once

#include <cstdint>
#include <string_view>

#include "cli/EngineObjects.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/text/KUID.h"
#include "kiv/String.h"

class ResultsLog;

inline constexpr int kMaxDependencyPasses = 16;

bool ParseCDPForFetchery(const Kiv::String& path, ResultsLog& log);
bool WriteAssetToCDP(const KUID& kuid, const Kiv::String& path, ResultsLog& log);
void InstallMissingDependencies(const KUID& kuid);
Kiv::String EscapeLineBreaks(std::string_view text);
Kiv::String KUIDListToText(KUIDList& list);
int32_t FcyParseCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
