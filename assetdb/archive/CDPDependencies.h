// CDPDependencies: which KUIDs an archive entry depends on and which it
// makes obsolete.
//
// Dependencies of an entry (CollectDependencies with the entry's own KUID):
//   1. found = every KUID the entry names anywhere (CollectKUIDs), then the
//      KUIDs of its "kuid-table" that are not yet in found;
//   2. excluded = the KUIDs of its "obsolete-table", then the own KUID;
//   3. each non-null KUID of the tags "alias", "bridgetrack", "bogey",
//      "preview-mesh-kuid", "map-kuid", "product-category", "bogey-1",
//      "bogey-1-r", "interior", "enginespec", "enginesound" (read as
//      GetNamedKUIDAsWritten reads them) is appended to found, duplicates
//      and all;
//   4. a "traincar" (any letter case) whose "engine" is 1 and whose
//      "interior" is null also depends on the built-in KUID
//      kBuiltinInteriorKUID;
//   5. each KUID of excluded erases its first occurrence from found (so a
//      KUID that step 3 added a second time stays);
//   6. each KUID of found is appended to the output unless already held.
//
// Obsoletes (CollectObsoletes): the KUIDs of the entry's "obsolete-table"
// and then its "obsoletes-kuid" (when not null), each appended unless
// already held; then the own KUID is erased from the output, when held.
//
// Tables and tags are read as written (SoupKUIDReferences.h): a text that
// names a KUID a KUID tag cannot keep gives that KUID, never the other
// asset's KUID that a KUID tag would wrap it into.
//
// The KUIDList forms act on a caller's list (which may hold duplicates
// from before: "held" means anywhere in it, "erased" means its first
// occurrence); the KUIDOrderedSet forms are for building the tables of a
// whole archive in time linear in its size. Nothing fails.
#pragma once

#include <vector>

#include "assetdb/protocol/KUIDOrderedSet.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/text/KUID.h"

namespace CDP {

// The interior that a self-driving car without one of its own uses.
inline constexpr KUID kBuiltinInteriorKUID{-10, 172, 127};

void CollectDependencies(const Soup& entry, const KUID& own, KUIDList& out);
void CollectDependencies(const Soup& entry, const KUID& own, KUIDOrderedSet& out);
void CollectObsoletes(const Soup& entry, const KUID& own, KUIDList& out);
void CollectObsoletes(const Soup& entry, const KUID& own, KUIDOrderedSet& out);

}  // namespace CDP
