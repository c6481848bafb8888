// Helpers shared by the command bodies: reading the arguments of one command
// line, resolving path arguments and adding the commands' error messages.
//
// argv follows the command signature of cli/EngineObjects.h: argv[0] the
// program path, argv[1] the command word, argv[2] onwards the arguments.
// Every helper accepts any argc (a missing slot reads as absent) and never
// keeps a pointer into argv.
//
// The "first argument" is slot 2 interned and lower-cased; commands compare
// it or parse a KUID from it, but never open it as a path. Paths are taken
// from the slots as typed (ArgumentPath) and a relative one is resolved
// against the directory the tool was started in (GetStartDirectory), not the
// program's folder, which start-up made the working directory.
//
// Failure: none of these fails; absent arguments give empty results.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/PString.h"

class ResultsLog;

// Slot `index` as typed, or "" when argc does not reach it (or it is null).
std::string_view ArgumentText(int argc, char** argv, int index);

// Slot 2 interned and lower-cased; empty when absent.
Kiv::PString LowerFirstArgument(int argc, char** argv);

// True when slot 2 is present and not empty.
bool HasFirstArgument(int argc, char** argv);

// The KUID given by the first argument, parsed with the strict rule. One
// that the daemon's requests cannot carry as typed (KUIDReadsBack: a user
// id beyond -16777216..16777215, which would reach the daemon as another
// asset's KUID) gives the null KUID, as text that is no KUID does.
KUID FirstArgumentKUID(int argc, char** argv);

// Slot `index` as a path: as typed when it is absolute (or when no start
// directory is known), else joined to the start directory. Empty when the
// slot is absent or empty.
Kiv::File::Path ArgumentPath(int argc, char** argv, int index);

// A severity-3 message without a subject.
void AddCommandError(ResultsLog& log, std::string_view text);
// A severity-3 message whose subject is the asset `kuid` ("AssetID").
void AddAssetError(ResultsLog& log, const KUID& kuid, std::string_view text);

// The reason given with the KUID when the daemon does not know the asset.
inline constexpr const char* kUnknownAssetID = "Unknown AssetID.";

// The command statuses.
inline constexpr int32_t kCommandSucceeded = 0;
inline constexpr int32_t kCommandFailed = -1;
