// The "validate" command: validates one installed asset through the daemon.
//
// ValidateAsset(kuid, log): takes a handle on the asset's editable copy
// (request 0x1E) and opens it for editing (0x20), which names its content
// set and folder; false, with no message, when either fails. With the asset
// as the subject of its messages it reads the asset's record (0x15): an
// asset built for a build below 2.7 gets "$vad_upload_asset_obsolete"
// (asset_kuid, lowest_vandrubuild "2.7") and is not sent; otherwise the
// daemon validates the folder (RequestAssetValidation, request 0x26) and
// its findings land in `log`. A record that cannot be read is reported
// ("Unable to read the asset's information.") rather than taken as an
// obsolete asset. True once the asset was looked at, whatever was found:
// the findings show in the log's summary. The handle is released on every
// path. The requests are those of cli/ValidateAssetSteps.h, made one
// after the other.
//
// ValidateCommand: the first argument is the KUID ("Missing AssetID
// parameter." when absent); 0 when ValidateAsset answers true, else -1.
#pragma once

#include <cstdint>

#include "cli/EngineObjects.h"
#include "foundation/text/KUID.h"

class ResultsLog;

bool ValidateAsset(const KUID& kuid, ResultsLog& log);
int32_t ValidateCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
