// KUID references of a soup: moving KUIDs between soups and KUID lists.
//
// A KUID list is a BlockList of KUIDs in insertion order. A KUID table soup
// is a container whose child tags each hold one KUID; written tables name
// their tags "0", "1", "2", ... without gaps; on reading, any tag that
// converts to a KUID counts, whatever its name.
//
// CollectKUIDs(soup, list) walks the whole tree in order (children in order,
// a sub-soup's tags before the parent's next tag) and appends every distinct
// non-null KUID it names: a string tag counts when its text parses strictly
// (ParseKUID with strict set: only the forms that begin with the word kuid),
// a KUID tag counts with its value. Other tags are ignored. KUIDs already in
// the list (from before the call) are not appended again. A sub-soup that
// contains itself (a cycle of shared chunks) is walked only once along any
// path; nesting depth is bounded only by memory, not by the call stack.
//
// GetKUIDList(table, list) appends the KUID that each child tag names, when
// it is not null and not yet in the list: a text tag's text read as a KUID
// (ParseKUID, not strict), as written, any other tag's value converted to a
// KUID (as Soup::GetNamedTagAsKUID does). A text naming a KUID that a KUID
// tag cannot keep (KUIDReadsBack fails: a user id beyond
// -16777216..16777215, which the text soup reader keeps as text) gives
// that KUID, never the other asset's KUID that a KUID tag would wrap it
// into. An empty or missing table appends nothing.
//
// GetNamedKUIDAsWritten(soup, name) is the KUID that the tag `name` names,
// read as GetKUIDList reads a table's tag (the null KUID when there is
// none).
//
// SetKUIDTableEntry(table, name, kuid) sets a KUID tag, or, for a KUID
// that a KUID tag cannot keep, a text tag holding its tag form
// ("<kuid:-16777217:5>"), so that the table names the KUID as written.
//
// SetKUIDList(list) answers a new container holding an entry
// (SetKUIDTableEntry) per non-null KUID of the list, named "0", "1", ... in
// order; null KUIDs are skipped without using a number.
//
// Nothing fails; allocation failure throws std::bad_alloc. The soup is only
// read (trees are not locked, see foundation/Soup.h).
#pragma once

#include "foundation/containers/BlockList.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"

using KUIDList = BlockList<KUID>;

void CollectKUIDs(const Soup& soup, KUIDList& list);
void GetKUIDList(const Soup& table, KUIDList& list);
KUID GetNamedKUIDAsWritten(const Soup& soup, const Kiv::PString& name);
void SetKUIDTableEntry(Soup& table, const Kiv::PString& name, const KUID& kuid);
Soup SetKUIDList(KUIDList& list);
