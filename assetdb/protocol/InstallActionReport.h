// ReportInstallAction: notes in a results log what an install did with an
// asset that was already installed, after the user's answer to the install
// question.
//
// For the answer 0 it adds a warning (severity 2) with the interface text
// "$vad_prompt_overwritten", for the answer 1 one with "$vad_prompt_skipped";
// other answers add nothing. The text's parameters are "asset_name" (the
// asset's name, or its KUID in tag form when the name is empty) and
// "action" (the answer, in decimal). The message takes the log's current
// subject.
//
// Never fails; thread-safe as ResultsLog is.
#pragma once

#include <cstdint>

#include "foundation/text/KUID.h"
#include "kiv/PString.h"

class ResultsLog;

void ReportInstallAction(ResultsLog& log, int32_t answer, const Kiv::PString& assetName,
                         const KUID& kuid);
