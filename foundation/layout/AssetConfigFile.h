// AssetConfigFile: which configuration file of an asset folder is read.
//
// FindAssetConfigFile(folder, &name, entries): the path of the folder's
// "config.chump", else of its "config.txt", and in `name` the one found;
// empty (and `name` untouched) when the folder has neither. A name matches
// in any letter case, the exact spelling first; a match that cannot be
// looked at (a link leading nowhere) does not count, as with
// Kiv::File::Exists. The path returned ends in the wanted spelling, which
// the file calls resolve to the one on disk.
//
// A name present as spelled costs one look; otherwise the folder is
// listed once for both names, or, when `entries` is given and not empty,
// those names of the folder's entries (a listing the caller just made, as
// RefusedFolderEntries gives it) are taken instead, and a name they show
// in no spelling is not looked at on disk. A folder that cannot be listed
// as given (a path of another letter case, say) is looked up name by name
// through Kiv::File::Exists instead, so the answer is the same either way.
//
// No shared state; nothing throws.
#pragma once

#include <string>
#include <vector>

#include "kiv/PString.h"

std::string FindAssetConfigFile(const std::string& folder, Kiv::PString* name,
                                const std::vector<std::string>* entries = nullptr);
