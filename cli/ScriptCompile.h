// CompileAssetScripts(log, kuid, contentSet, folder): the scripted-asset
// part of the compile request. Finds the asset's spec in the registry (one
// that is not a VandruBaseSpec: "Asset of wrong spec type for
// compilation"), else loads it from the folder with a
// VADScript_VandruBaseSpecFactory as the registry's default factory for
// that load ("Failed to load asset for compilation"); then checks its
// scripts (VandruBaseSpec::ValidateScript) and adds "Failed to compile
// asset" when that fails without an error of its own. Messages are
// severity 3. Runs on the validating thread.
//
// SetScriptLinkPause(pause): a test hook of the command host (CommandHost.h):
// from then on, a check of an asset's scripts that loaded a script library
// this process had not loaded before pauses that long afterwards, as a slow
// link would; a check that found everything loaded does not (a command host
// forgets its libraries at the start of each job, so there a job that
// checks a script always pauses). Zero (the default) pauses nothing.
#pragma once

#include <chrono>

#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class ResultsLog;

bool CompileAssetScripts(ResultsLog& log, const KUID& kuid, const Kiv::PString& contentSet,
                         const Kiv::String& folder);
void SetScriptLinkPause(std::chrono::milliseconds pause);
