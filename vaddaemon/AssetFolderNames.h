// AssetFolderNames: the names of the asset store's folders.
//
// An asset's folder (below "local" or "editing") is named by its KUID's
// keyword text (KUIDToKeywordString: "kuid U C" or "kuid2 U C V"), or that
// text followed by "~". The two alternate: a new copy of an asset takes the
// name its current copy does not have, so both can exist until the index
// has switched to the new one. Staging folders are named kStagingPrefix
// followed by a unique tail.
//
// AssetFolderName answers "" for a null or invalid KUID (which never gets
// a folder). IsStoreFolderName tells whether a name is one the store makes
// (a staging name, or exactly the canonical keyword text of a valid,
// non-null KUID with or without "~"); recovery removes only such names.
// AssetOfFolderName answers the KUID whose folder `name` is (the keyword
// text with or without "~"), or the null KUID for any other name.
// TakenFolderName is the folder below "editing" into which a commit moves
// the edit folder `editFolder` (a staging name: kStagingPrefix, "take-",
// then `editFolder`), so the recovery finds it beside the edit folder it
// came from.
// A folder or file the store finds at a name it needs, and a copy the
// recovery does not take in beside one it does, is set aside
// (foundation/layout/SetAside.h) under the name followed by "."
// kSetAsideWhy "-<time>", which is no store name: no later start takes it
// in or removes it.
// Pure functions; nothing fails.
#pragma once

#include <string>
#include <string_view>

#include "foundation/layout/SetAside.h"
#include "foundation/text/KUID.h"

std::string AssetFolderName(const KUID& kuid);
// The name for a new copy when the current copy is named `current` ("" when
// there is none): the plain name unless `current` is it.
std::string NextAssetFolderName(const KUID& kuid, std::string_view current);
std::string TakenFolderName(std::string_view editFolder);
bool IsStagingFolderName(std::string_view name);
KUID AssetOfFolderName(std::string_view name);
bool IsStoreFolderName(std::string_view name);
