// CDPEntryConfig: turning an archive entry back into the configuration soup
// of an installed asset.
//
// EntryToConfig(entry, config):
//   1. config = a deep copy of the entry soup (the entry is not changed);
//   2. "files", "dsid", "compression" and "folder-icon" are removed;
//   3. "kind" is lower-cased (ASCII); when that changes it, `changed` is set;
//   4. a ".cache" tag is removed, setting `changed`;
//   5. the entry's dependencies (CDP::CollectDependencies with its own
//      "kuid") are merged into "kuid-table":
//      - a missing or empty table becomes the list ("0", "1", ...; an empty
//        list gives an empty container), setting `changed` when the list is
//        not empty;
//      - otherwise each dependency the table does not hold yet is added
//        (SetKUIDTableEntry: a KUID tag, or the KUID's text when a KUID tag
//        cannot keep it) named by the next number after the highest tag
//        name (names read as a decimal number, as "%d" would; a name that
//        does not start with one counts as -1), setting `changed`.
//      Entries are read as GetKUIDList reads them: a KUID written as text
//      that a KUID tag cannot keep is held as written, so a table that
//      names one gains nothing round after round.
//
// Nothing fails; `config` is replaced. Threads: reads the entry only.
#pragma once

#include "assetdb/archive/CDPArchive.h"
#include "foundation/soup/Soup.h"

namespace CDP {

void EntryToConfig(CDPEntry& entry, Soup& config);

}  // namespace CDP
