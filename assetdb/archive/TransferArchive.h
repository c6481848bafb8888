// TransferArchive: the "crak" file in which the command host and the
// asset-database daemon pass archive entries.
//
// Layout (little-endian): "crak"; u32 version (0 or 1; written as 1);
// version 1 only: f32 writer build (written as 3.4); u32 total file size;
// u32 archive token; records; the null KUID (8 bytes) closing the list. A
// record is the KUID, the u32 absolute offset of the next record, and the
// entry as a binary "ACS$" soup. Sizes and offsets are written as the
// placeholder 0xFEEDCEEB and patched once known.
//
// ReadTransferArchive reads such an archive from any stream (whose whole
// length is the archive). The file is untrusted: a version other than 0/1
// logs "$vad_archive_version" ("version", -1 for a short read); a wrong
// magic, a size other than the file's length or another token logs
// "$vad_archive_unreadable"; both answer false. A next-record offset that
// does not lie beyond the end of its own record header, or beyond the
// file's end, also logs "$vad_archive_unreadable" and answers false, so a
// damaged file is never looped over. Each record whose KUID `wants` takes
// is handed to `take` (the entry as it read whole inside its record and
// naming that KUID, with the options: 10 when a version-1 writer build
// reads as 3.40, else 2); a record whose entry does not read, or names
// another KUID, is skipped. True when the closing null KUID (or the end of
// the file at a record's start) is read. LogTransferArchiveVersion logs
// "$vad_archive_version" with the version given.
//
// Writing and installing through the daemon are in
// assetdb/client/TransferArchiveClient.h.
//
// Threads: the calling thread.
#pragma once

#include <cstdint>
#include <functional>

#include "foundation/soup/SoupKUIDReferences.h"
#include "kiv/String.h"

class ResultsLog;
class Soup;
class TStream;

using TransferRecordWanted = std::function<bool(const KUID& kuid)>;
using TransferRecordTaker = std::function<void(const KUID& kuid, Soup& entry, uint32_t options)>;

inline constexpr uint32_t kTransferArchiveMagic = 0x6B617263;  // "crak"
inline constexpr float kTransferArchiveBuild = 3.4f;

void LogTransferArchiveVersion(ResultsLog* log, int32_t version);
bool ReadTransferArchive(TStream& file, uint32_t token, ResultsLog* log,
                         const TransferRecordWanted& wants, const TransferRecordTaker& take);
