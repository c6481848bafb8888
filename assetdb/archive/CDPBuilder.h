// CDPBuilder: adding entries to an archive, keeping its KUID tables and
// saving it.
//
// AddContent(archive, message, entry) refuses an entry whose "kuid" is null
// ("Unable to add content as it doesnt not contain a valid KUID") or whose
// KUID an entry of the archive already has (FindAsset; "Unable to add
// content as an item with KUID %s is already present" with the KUID's tag
// text); a refused entry leaves the archive unchanged. Otherwise the entry
// is stored (shared, not copied) in "assets" under its KUID's tag text and
// the message is empty.
//
// RebuildTables(archive) recomputes the root from every entry, in order:
//   "contents-table"  the entries' KUIDs;
//   "kuid-table"      their dependencies (CollectDependencies over all
//                     entries, each KUID once) less the KUIDs of the
//                     entries themselves;
//   "obsolete-table"  CollectObsoletes over all entries, in order (a later
//                     entry takes its own KUID out of what earlier ones made
//                     obsolete);
// each stored as a new table ("0", "1", ... without gaps, null KUIDs left
// out); then "kind" = "archive" and "package-version" = 1. Its cost is
// linear in the size of the archive.
//
// Tables are brought up to date once, not per entry: AddContent does not
// rebuild them (doing so for every entry made building an archive
// quadratic in its entries). WriteArchive and CDP::WriteArchiveToStream
// rebuild them first whenever "contents-table" does not have one tag per
// entry, which is always so after AddContent; an archive whose tables
// already match its entries (one loaded and not added to) is written as it
// is. Callers that read the tables of an archive they are building call
// RebuildTables first.
//
// WriteArchive(archive, message, path) saves through Soup::SaveToFile (a
// temporary file beside the target, renamed over it only when every byte
// was written; the form follows the extension). Any failure gives "Unable
// to write archive file. Needs to be .cdp file extension"; success an
// empty message.
//
// MakeLZSSOptions gives a new soup holding only "compression" = "LZSS".
//
// Threads: one caller per archive at a time.
#pragma once

#include "foundation/soup/Soup.h"
#include "kiv/PString.h"
#include "kiv/String.h"

namespace CDP {

void AddContent(Soup& archive, Kiv::PString& message, Soup& entry);
void RebuildTables(Soup& archive);
// True when "contents-table" does not have one tag per entry of "assets".
bool TablesNeedRebuild(const Soup& archive);
void WriteArchive(Soup& archive, Kiv::PString& message, const Kiv::String& path);
Soup MakeLZSSOptions();

}  // namespace CDP
