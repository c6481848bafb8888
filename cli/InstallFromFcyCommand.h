// The "installfromfcy" command: installs an asset, and whatever it needs,
// from the download service (gsnative/FetcheryQuery.h).
//
// The first argument is the asset's KUID (strict parse, lower-cased). When
// it is absent, empty or does not give a KUID (the null KUID), the error
// "Missing AssetID parameter." is added and the status is -1. Otherwise the
// query runs with the command's log and the status is 0 whatever it found:
// its failures show as messages in the log.
#pragma once

#include <cstdint>

#include "cli/EngineObjects.h"

int32_t InstallFromFcyCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
