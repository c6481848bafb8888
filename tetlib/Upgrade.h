// The upgrade of old-style configurations: configurations of builds before
// 2.9 are rewritten in memory by fixed rules before they are walked.
//
// UpgradeConfigIfOld(soup): when the data manager's assetBuild x 100
//   (truncated) is below 290, runs UpgradeOldConfig on `soup` and sets its
//   "vandru-build" to 2.9; the data manager keeps the old build. The caller
//   hands in the asset's own copy of its configuration: nothing else (the
//   definitions, a soup another asset shares) is ever changed, and nothing
//   is written to a file.
// UpgradeOldConfig(soup): the rules, in their order (tetlib/Upgrade.cpp).
//
// The helpers (tetlib/UpgradeHelpers.cpp) each change the soup they are
// given in place and report nothing:
//   Build*MeshTable: a "mesh-table" for an old layout; the bogey, traincar
//     and scenery builders take the base name (the old "asset-filename").
//     Setting a child first removes a child of the same name.
//   BuildTraincarBogeys: a "bogeys" container from "bogey", "bogey-r",
//     "bogey-N" and "bogey-N-r".
//   The KUIDs they move (bogeys, the tracks of attached tracks) are read
//   and written as a configuration keeps them (SoupKUIDReferences.h): text
//   naming a KUID that a KUID tag cannot keep stays that text.
//   CollectAttachmentNames(path, names): appends "a.name0", "a.name1", ...
//     while the mesh at `path` (below the asset folder) has a point of that
//     name; nothing when it does not load.
//   IsTopLevelTagName(name): true when a top-level definition, or a
//     definition that one lists in its "inherit", has `name` among its
//     "subpossibilities".
//   RemoveStrayTagsAfterDescription / RemoveUndefinedAssetTags: the tag
//     clean-ups of the last rules.
//
// Meshes read by the builders are loaded through the check-mesh data
// (tetlib/MeshData.h) with no owner container: their load findings are not
// reported, so the upgrade itself reports nothing.
//
// Threads: the thread that validates; no lock.
#pragma once

#include <vector>

#include "foundation/soup/Soup.h"
#include "kiv/PString.h"

namespace TETLib {

void UpgradeConfigIfOld(Soup& soup);
void UpgradeOldConfig(Soup& soup);

void BuildBogeyMeshTable(Soup& soup, const Kiv::PString& base);
void BuildJunctionMeshTable(Soup& soup);
void BuildCrossingMeshTable(Soup& soup);
void BuildTurntableMeshTable(Soup& soup);
void BuildTraincarMeshTable(Soup& soup, const Kiv::PString& base);
void BuildTraincarBogeys(Soup& soup);
void BuildSceneryMeshTable(Soup& soup, const Kiv::PString& base);
void BuildInteriorMeshTable(Soup& soup);
void CollectAttachmentNames(const Kiv::PString& path, std::vector<Kiv::PString>& names);
bool IsTopLevelTagName(const Kiv::PString& name);
void RemoveStrayTagsAfterDescription(Soup& soup);
void RemoveUndefinedAssetTags(Soup& soup);

}  // namespace TETLib
