// Writing and installing "crak" transfer archives (the layout is in
// assetdb/archive/TransferArchive.h) through the asset-database daemon.
//
// WriteArchiveRecords fetches each KUID's entry (CreateCDP, mask 0) and
// writes a record for each that names a KUID; answers false when one did
// not. WriteTransferArchive writes a whole file (header, records, size)
// and answers WriteArchiveRecords' result, false also when the file could
// not be written whole.
//
// InstallFromArchiveFile reads such a file with ReadTransferArchive (its
// checks and messages; a file that does not open logs the version message
// with -1) and installs each record whose KUID is in `wanted` (removing it
// from the list once installed) with InstallAssetWithPrompts, with the
// options the reader gives. A record that is skipped stays in `wanted`.
//
// Both open the file as a regular file only: a pipe or device in its place
// fails at once (as a file that does not open) instead of blocking.
//
// Threads: the calling thread.
#pragma once

#include <cstdint>

#include "foundation/soup/SoupKUIDReferences.h"
#include "kiv/String.h"

class ResultsLog;
class TStream;

bool WriteArchiveRecords(const KUIDList& kuids, TStream& out, ResultsLog* log);
bool WriteTransferArchive(uint32_t token, const Kiv::String& path, const KUIDList& kuids,
                          ResultsLog* log, bool* written = nullptr);
bool InstallFromArchiveFile(uint32_t token, KUIDList& wanted, const Kiv::String& path,
                            ResultsLog* log);
