// CDPArchive: opening, reading and writing ".cdp" archives, and the
// accessors of the archive root and of its entries.
//
// An archive is a soup stored in the binary "ACS$" form. Its root holds:
//   "assets"          one container per asset, named by the asset's KUID
//                     tag text ("<kuid:U:C>" / "<kuid2:U:C:V>");
//   "contents-table"  the KUIDs of the entries (tags "0", "1", ...);
//   "kuid-table"      the KUIDs the entries need that the archive lacks;
//   "obsolete-table"  the KUIDs the entries make obsolete;
//   "kind"            "archive";   "package-version"  the integer 1.
// An entry is the asset's configuration soup plus "files" (the asset folder
// as containers and byte tags), "compression" ("", "LZSS" or "filepath"),
// "dsid" (see assetdb/CDPChecksum.h) and the archive-only tags
// "folder-icon" and ".cache".
//
// OpenArchive loads a file with Soup::LoadFromFile (the binary reader
// checks every size and offset against the bytes of the file, so a
// truncated or damaged file does not load) and then checks the root. On
// failure the archive handle is released (left empty) and `message` says
// why: "Content could not be read, as the file is not a valid CDP" (the file
// did not load, or "kind" is not "archive" in any letter case), "Content
// could not be read, as the CDP file is damaged" (the number of children of
// "contents-table" differs from that of "assets"), "This content requires a
// newer Vandru version" ("package-version" other than 1). On success the
// message is empty.
//
// ReadArchive and WriteArchiveToStream move the "ACS$" form through a
// stream; ReadArchive answers false (handle empty) when the stream does not
// hold a whole, valid binary soup, WriteArchiveToStream false when a tag
// could not be written or the stream holds an error. WriteArchiveToStream
// first rebuilds the KUID tables when they do not list every entry (see
// assetdb/CDPBuilder.h).
//
// The accessors never fail: missing tags give empty or null results.
// Threads: one caller per soup at a time (soups are not locked).
#pragma once

#include <cstdint>
#include <string>

#include "foundation/soup/ACSRawDataCore.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class TStream;

// An entry of an archive: the entry soup (shared with the archive) and
// whether turning it into a configuration changed it.
struct CDPEntry {
  Soup soup;
  bool changed = false;
};

namespace CDP {

// Interned names of the archive's tags.
namespace Tag {
const Kiv::PString& Assets();
const Kiv::PString& ContentsTable();
const Kiv::PString& KUIDTable();
const Kiv::PString& ObsoleteTable();
const Kiv::PString& Kind();
const Kiv::PString& PackageVersion();
const Kiv::PString& Files();
const Kiv::PString& Compression();
const Kiv::PString& DSID();
const Kiv::PString& FolderIcon();
const Kiv::PString& Cache();
const Kiv::PString& KUID();
}  // namespace Tag

void OpenArchive(Soup& archive, Kiv::PString& message, const Kiv::String& path);

// Children of "assets" (0 without it).
uint32_t GetAssetCount(const Soup& archive);
// What an install of the archive at `path` says when it holds no asset
// (one that "createcdp" writes given no KUID): it opens, and installs
// nothing. "Unable to install '<path>': the archive holds no asset."
std::string NoAssetError(const std::string& path);
// The index-th child of "assets" (an empty soup past the end).
CDPEntry GetAssetAt(const Soup& archive, uint32_t index);
// The index of the first entry whose "kuid" equals `kuid`, or -1.
int32_t FindAsset(const Soup& archive, const KUID& kuid);

bool ReadArchive(Soup& archive, TStream& stream);
bool WriteArchiveToStream(Soup& archive, TStream& stream);

Soup GetFiles(const Soup& entry);
Kiv::PString GetCompression(const Soup& entry);
KUID GetEntryKUID(const Soup& entry);
bool HasValidKUID(const Soup& entry);
CoreRef GetTagData(const Soup& entry, const Kiv::PString& name);

}  // namespace CDP
