// ExportHandler: an installed asset as a ".cdp" archive entry (request 0x30:
// KUID, u32 parts mask -> the entry as a binary "ACS$" soup).
//
// BuildArchiveEntry makes the entry from the asset's installed copy:
//   - every tag of its configuration ("config.chump", else "config.txt"),
//     less any "files", "compression" and "dsid" tag it may carry;
//   - "kuid": the asset's KUID (set only when the configuration has none);
//   - "files": the asset folder, a container per sub-folder and a byte tag
//     per file, in byte-wise name order; the configuration files at the
//     top are left out (the configuration travels as the tags). Only names
//     that an archive reader accepts are taken (CDP::IsValidFileName, the
//     33 content file types); links (a link leading out of the asset folder
//     named as such), devices and other special files are left out. Each
//     file is read from the descriptor it was judged on (opened without
//     following a link or waiting), so an entry swapped for a link or a
//     pipe meanwhile is left out too, never read through. Each
//     file or folder left out (but the configuration) adds a line to
//     `*leftOut` (when not null) naming it, relative to the asset folder,
//     and why; the handler sends each as a warning before the entry;
//   - "compression" "LZSS": each byte tag holds the u32 little-endian count
//     of the file's bytes followed by the LZSS-coded stream, which the
//     client's extraction reads back (CDP::WriteContentFile).
// Bounds: a file over kMaxFileBytes, or an entry whose files total over
// kMaxEntryBytes, is refused with a message rather than loaded. An entry
// that could not be carried whole is refused too, naming what does not
// fit: a configuration tag that the binary form cannot hold
// (ConfigStorageProblem), a file or folder name longer than
// BinarySoup::kMaxNameLength, or a folder nested deeper than the store's
// kMaxFolderDepth (FolderTree.h) below the asset folder. The parts
// mask is accepted and not interpreted: every entry holds configuration and
// files.
//
// Failure: false with `error` set when the asset is not installed, has no
// readable configuration, or a file cannot be read, is over a bound or
// cannot be carried. The handler then sends `error` as a code-3 error
// message and an empty reply (the client's entry stays empty); it never
// sends part of an entry.
//
// Threads: reads the store and the asset folder only, holding the asset
// for reading (AssetStore::HoldForReading) from its look-up to the last
// file: the entry is one whole copy, the one before a reinstall, commit or
// removal that comes meanwhile or the one after it. Such a change waits
// for the entry; the caller must hold nothing of the asset (a worker).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/text/KUID.h"

class AssetStore;
class Soup;

namespace ExportHandler {

constexpr uint64_t kMaxFileBytes = 256ull << 20;
constexpr uint64_t kMaxEntryBytes = 512ull << 20;

bool BuildArchiveEntry(AssetStore& store, const KUID& kuid, Soup& entry, std::string& error,
                       std::vector<std::string>* leftOut = nullptr);

}  // namespace ExportHandler
