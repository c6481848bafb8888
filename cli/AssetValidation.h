// Asset validation and the compilation of an asset's scripts: the tool's
// side of the daemon's validate request and the command host's validation
// job.
//
// RequestAssetValidation(contentSet, folder, log): asks the daemon to
// validate an asset folder (request 0x26: PString content set, string
// folder -> u8). A folder that is not in the content area answers false;
// a content set packed into "<set folder>.ja" answers true without asking
// (packed content is not validated). The daemon's messages land in `log`.
//
// WriteAssetValidationRequest(contentSet, folder, body, answer): the first
// half of RequestAssetValidation, for a caller that sends the request itself
// (with others in flight): false when no request is due, `*answer` then
// being RequestAssetValidation's answer; otherwise true, the request's body
// written into `body`.
//
// RunValidateAssetTask(contentSet, folder, log): runs ValidateAssetFolder on
// the main thread (posted as a waited-for main-thread task; run in place on
// the main thread) and answers its result; false when the queue dropped it.
//
// ValidateAssetFolder(log, contentSet, folder): resolves the folder (false
// when it lies outside the content area), answers true at once for packed
// content (as above), then, holding the content set's shared folder and the
// validation lock: sets the data manager's modes (compiled-texture check on,
// texture conversion for every set but "editing" and "base"), picks
// "config.chump" before "config.txt" ("$vad_unable_read_config_at" when
// neither exists), runs the checks (RunValidationChecks) and, when they
// added no error, compiles the asset's scripts (VADCompileAsset). A
// "config.txt" is read once for both steps and held for the job
// (foundation/soup/HeldConfigText.h): the checks, the compile's KUID and
// its spec load each parse those bytes.
//
// RunValidationChecks(container, configPath, log): under the validation
// lock, BeginAssetValidation and, when it answers true, RunAssetChecks;
// then PurgeUnusedResources.
//
// VADCompileAsset(log, contentSet, folder): the first successful call
// registers the native libraries (RegisterNativeLibraries); a failure logs
// "VADCompileAsset unable to initialise script system" and the next call
// tries again. Then loads the folder's configuration and its KUID and
// checks the asset's scripts (see cli/ScriptCompile.h). All messages are
// severity 3 in `log`.
//
// FolderAssetKUID(contentSet, folder): the "kuid" tag of the folder's
// configuration; the null KUID when it cannot be read.
//
// The validation lock is one process-wide recursive mutex, held through
// scopes only, so every path releases it. Everything here runs on the main
// thread but for RequestAssetValidation and RunValidateAssetTask, which any
// thread may call.
#pragma once

#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class ResultsLog;
class TStream;

namespace TETLib {
class Container;
}

bool RequestAssetValidation(const Kiv::PString& contentSet, const Kiv::String& folder,
                            ResultsLog& log);
bool WriteAssetValidationRequest(const Kiv::PString& contentSet, const Kiv::String& folder,
                                 TStream& body, bool* answer);
bool RunValidateAssetTask(const Kiv::PString& contentSet, const Kiv::String& folder,
                          ResultsLog& log);
bool ValidateAssetFolder(ResultsLog& log, const Kiv::PString& contentSet,
                         const Kiv::String& folder);
void RunValidationChecks(TETLib::Container& container, const Kiv::String& configPath,
                         const Kiv::PString& contentSet, ResultsLog& log);
bool VADCompileAsset(ResultsLog& log, const Kiv::PString& contentSet, const Kiv::String& folder);
KUID FolderAssetKUID(const Kiv::PString& contentSet, const Kiv::String& folder);
