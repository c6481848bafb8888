// "importconsists": turns an old-style consist list (a soup file whose root
// holds "train-0", "train-1", ... each with a "name" and a "list" of cars)
// into consist assets in the asset database.
//
// For every train whose name is not yet the name of an installed, listable,
// non-obsolete consist asset (category "CN"), a new asset is reserved
// (request 0x23 with the null KUID), its configuration ("config.txt" in the
// edit folder the daemon names; reached through the daemon's content
// location when the tool knows it and the folder lies inside it, else by
// the folder's absolute path) gets "kind", "username", "vandru-build",
// "consist-list" and "kuid-table" (and "kuid", the reserved KUID, when it
// names none), and the asset is committed (request
// 0x22). A car KUID written as text that a KUID tag cannot keep (a user id
// beyond -16777216..16777215) is written as that text. Train names are compared with the assets' names exactly (case
// included).
//
// The work runs in the directory the tool was started in (StartDirectory
// Scope), so that a relative file name means what the user typed.
//
// Failure: no file argument ("Missing input path parameter.") or a file that
// does not load ("Invalid input path.") end the command with -1. A train
// without "name" or "list" is passed over. When the daemon reserves no asset
// or names no edit folder for a train, that train stops there with
// "Unable to create the consist asset for the train \"<name>\"." and no
// configuration is written anywhere; a configuration that cannot be saved
// is reported as "Unable to write the consist configuration for the train
// \"<name>\"." and the asset is reverted. When at least one train needed
// an asset and none was created the command answers -1; otherwise 0 (a
// failed commit shows as the daemon's messages in the log).
//
// Main thread only (it changes the process's working directory).
#pragma once

#include <cstdint>

#include "cli/EngineObjects.h"

int32_t ImportConsistsCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
