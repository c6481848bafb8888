// ValidationBound: the time bound of one validation, which the command host
// holds a validation job to (cli/CommandHost.h) and the daemon holds a
// validate request to, from when it takes the request up
// (vaddaemon/README.md), and the finding that answers a validation stopped
// at it.
//
// ValidationBound() is 60 s, or the milliseconds in the environment
// variable VADCOMMANDHOST_VALIDATION_MS when it holds a whole number up to
// 24 hours (anything else keeps 60 s). The daemon passes its environment on
// to the hosts it starts, so both read the same bound. Read on each call.
//
// AddValidationTimeLimit adds the one finding of such a validation to
// `log`: an error about `asset` (no subject when it is null) with `text`,
// the interface text of "$tet_validation_time_limit" looked up by the
// caller, whose "$(file_path)" becomes `folder` and "$(seconds)" the bound
// in seconds ("%g").
//
// Threads: both may be called from any thread.
#pragma once

#include <chrono>
#include <string>

#include "foundation/text/KUID.h"
#include "kiv/String.h"

class ResultsLog;

std::chrono::milliseconds ValidationBound();

void AddValidationTimeLimit(ResultsLog& log, const KUID& asset, const std::string& folder,
                            std::chrono::milliseconds bound, const Kiv::String& text);
